#pragma once
// What the Categories page suites share: a private document store, category
// catalogue and list of editable types per test, named through the
// environment (which the in-process stand-ins and child processes read);
// the store's contents and journal; and the two hosted lists of an open page.

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/list_box_text.h"
#include "common/scoped_environment.h"
#include "components/component_ids.h"
#include "handlers/shell_fixtures.h"
#include "pages/common/page_harness.h"
#include "resources/resource.h"

namespace zrvcattest {

// Control ids of the page, as its template names them. The store's property
// ids are the DOCPROP_ names.
enum : int {
    kTitleLabel = IDC_CATEGORIES_TITLE_LABEL,
    kTitle = IDC_CATEGORIES_TITLE,
    kSubject = IDC_CATEGORIES_SUBJECT,
    kAuthor = IDC_CATEGORIES_AUTHOR,
    kComments = IDC_CATEGORIES_COMMENTS,
    kAvailableFrame = IDC_CATEGORIES_AVAILABLE_FRAME,
    kAssignedFrame = IDC_CATEGORIES_ASSIGNED_FRAME,
    kAddButton = IDC_CATEGORIES_ADD,
    kRemoveButton = IDC_CATEGORIES_REMOVE,
    kNotice = IDC_CATEGORIES_NOTICE,
};

using zrvtest::ListItems;
using zrvtest::ScopedEnvironment;

// The catalogue every test starts with, in file order (the left list's).
extern const std::vector<std::wstring> kCatalogue;
constexpr wchar_t kEditableTypes[] = L"doc;docx;txt";

class CategoriesPageTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // A new file in the test's folder (subfolders are made as needed).
    std::wstring Document(const std::wstring& relativePath);
    void SetEditableTypes(const wchar_t* list);

    // The store, as the product's other programs see it.
    void Store(const std::wstring& path, int id, const std::wstring& text);
    // "<unset>" for a property never written.
    std::wstring Stored(const std::wstring& path, int id);
    void SetReadOnly(const std::wstring& path, bool readOnly);

    // The store's record of writes and announcements since the last clear,
    // one entry per call, as "SetStringProperty 3 <path>", "SaveDocument
    // <path>", "UpdateDocument <path>".
    std::vector<std::wstring> Journal();
    void ClearJournal();
    static std::wstring Line(const wchar_t* operation, const std::wstring& path, int id = -1);
    // The journal of an Apply that wrote all four texts, saved and announced.
    static std::vector<std::wstring> AllTextsApplied(const std::wstring& path);

    std::string ReadStoreFile() const;
    void WriteStoreFile(const std::string& bytes) const;
    std::wstring HelpLog() const;

    std::unique_ptr<zrvtest::ScratchFolder> m_folder;
    std::wstring m_storeFile;
    std::wstring m_helpLog;
    std::vector<std::unique_ptr<ScopedEnvironment>> m_environment;
};

// The Categories page alone in a sheet, opened on the paths.
class CategoriesSheet {
  public:
    explicit CategoriesSheet(const std::vector<std::wstring>& paths);

    bool ok() const { return m_page != nullptr; }
    zrvtest::PageSheet& sheet() { return m_sheet; }
    HWND page() const { return m_page; }

    std::wstring Text(int id) const;
    bool Enabled(int id) const;
    // Whether the controls that editing needs (four fields, two arrows) are
    // all enabled (1), all disabled (0), or mixed (-1).
    int EditingEnabled() const;

    HWND AvailableList() const;  // the list boxes inside the hosted controls
    HWND AssignedList() const;
    // Selects exactly these items; false when one is missing.
    bool Select(HWND list, const std::vector<std::wstring>& names);

    void Add() { zrvtest::Click(m_page, kAddButton); }
    void Remove() { zrvtest::Click(m_page, kRemoveButton); }
    // Clears the sheet's changed state, as after an Apply.
    void ForgetChanges();
    // Runs the sheet until the list shows exactly these items, or 3 s pass.
    bool WaitForItems(HWND list, const std::vector<std::wstring>& expected);

  private:
    zrvtest::PageSheet m_sheet;
    HWND m_page = nullptr;
};

}  // namespace zrvcattest
