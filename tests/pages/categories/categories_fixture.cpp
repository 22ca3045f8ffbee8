#include "categories_fixture.h"

#include "common/localizer_map_host.h"
#include "common/test_paths.h"
#include "handlers/prop_sheet_handlers.h"
#include "store/core/document_store.h"
#include "store/core/store_journal.h"
#include "store/core/store_paths.h"

namespace zrvcattest {

namespace {

// Localized lookups go to the in-process application services through the
// shared map, for the life of the test program.
class LocalizerMapEnvironment : public ::testing::Environment {
  public:
    void SetUp() override { m_host = std::make_unique<zrvproduct::LocalizerMapHost>(); }
    void TearDown() override { m_host.reset(); }

  private:
    std::unique_ptr<zrvproduct::LocalizerMapHost> m_host;
};

const auto* const g_localizerMap = ::testing::AddGlobalTestEnvironment(new LocalizerMapEnvironment);

std::wstring FullPath(const std::wstring& path) {
    std::wstring full;
    EXPECT_HRESULT_SUCCEEDED(zrvstore::NormalizeDocumentPath(path.c_str(), full)) << path.c_str();
    return full;
}

std::wstring Widen(const std::string& utf8) {
    if (utf8.empty()) return std::wstring();
    std::wstring wide(utf8.size(), L'\0');
    wide.resize(::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                      &wide[0], static_cast<int>(wide.size())));
    return wide;
}

BOOL CALLBACK FindListBox(HWND window, LPARAM result) {
    wchar_t name[32] = {};
    ::GetClassNameW(window, name, ARRAYSIZE(name));
    if (::lstrcmpiW(name, L"ListBox") != 0) return TRUE;
    *reinterpret_cast<HWND*>(result) = window;
    return FALSE;
}

HWND ListBoxIn(HWND frame) {
    HWND list = nullptr;
    if (frame) ::EnumChildWindows(frame, &FindListBox, reinterpret_cast<LPARAM>(&list));
    return list;
}

}  // namespace

const std::vector<std::wstring> kCatalogue = {L"Alpha", L"Home", L"Travel", L"Work", L"Zeta"};

void CategoriesPageTest::SetUp() {
    m_folder = std::make_unique<zrvtest::ScratchFolder>(L"categories");
    m_storeFile = m_folder->path() + L"\\documents.store";
    m_helpLog = m_folder->path() + L"\\help.log";
    std::string catalogue;
    for (const std::wstring& name : kCatalogue) {
        catalogue.append(name.begin(), name.end()).append("\r\n");  // ASCII names
    }
    const std::wstring catalogueFile = m_folder->File(L"categories.txt", catalogue);

    m_environment.push_back(
        std::make_unique<ScopedEnvironment>(L"ZRV_DOCUMENT_STORE", m_storeFile.c_str()));
    m_environment.push_back(
        std::make_unique<ScopedEnvironment>(L"ZRV_CATEGORY_CATALOG", catalogueFile.c_str()));
    m_environment.push_back(
        std::make_unique<ScopedEnvironment>(L"ZRV_HELP_LOG", m_helpLog.c_str()));
    m_environment.push_back(std::make_unique<ScopedEnvironment>(L"ZRV_LANGUAGE", nullptr));
    SetEditableTypes(kEditableTypes);
}

void CategoriesPageTest::TearDown() {
    while (!m_environment.empty()) m_environment.pop_back();  // newest first
    m_folder.reset();
}

std::wstring CategoriesPageTest::Document(const std::wstring& relativePath) {
    for (size_t slash = relativePath.find(L'\\'); slash != std::wstring::npos;
         slash = relativePath.find(L'\\', slash + 1)) {
        m_folder->Folder(relativePath.substr(0, slash));
    }
    return m_folder->File(relativePath, "content");
}

void CategoriesPageTest::SetEditableTypes(const wchar_t* list) {
    m_environment.push_back(std::make_unique<ScopedEnvironment>(L"ZRV_DOCUMENT_EXTENSIONS", list));
}

void CategoriesPageTest::Store(const std::wstring& path, int id, const std::wstring& text) {
    zrvstore::DocumentStore store;
    ASSERT_HRESULT_SUCCEEDED(store.Initialize(m_storeFile));
    zrvstore::DocumentChanges changes;
    changes.properties.SetText(id, text);
    ASSERT_HRESULT_SUCCEEDED(
        store.Commit(FullPath(path), changes, zrvstore::DocumentStore::ReadOnlyRule::Ignore));
}

std::wstring CategoriesPageTest::Stored(const std::wstring& path, int id) {
    zrvstore::DocumentStore store;
    zrvstore::DocumentRecord record;
    bool found = false;
    if (FAILED(store.Initialize(m_storeFile)) ||
        FAILED(store.Find(FullPath(path), record, found))) {
        return L"<unreadable>";
    }
    return found && record.Has(id) ? record.texts[id] : L"<unset>";
}

void CategoriesPageTest::SetReadOnly(const std::wstring& path, bool readOnly) {
    zrvstore::DocumentStore store;
    ASSERT_HRESULT_SUCCEEDED(store.Initialize(m_storeFile));
    zrvstore::DocumentChanges changes;
    changes.changeReadOnly = true;
    changes.readOnly = readOnly;
    ASSERT_HRESULT_SUCCEEDED(
        store.Commit(FullPath(path), changes, zrvstore::DocumentStore::ReadOnlyRule::Ignore));
}

std::vector<std::wstring> CategoriesPageTest::Journal() {
    std::string bytes;
    zrvstore::StoreJournal(m_storeFile).Read(bytes);
    std::vector<std::wstring> lines;
    size_t start = 0;
    for (size_t end = bytes.find('\n'); end != std::string::npos;
         start = end + 1, end = bytes.find('\n', start)) {
        lines.push_back(Widen(bytes.substr(start, end - start)));
    }
    return lines;
}

void CategoriesPageTest::ClearJournal() { zrvstore::StoreJournal(m_storeFile).Clear(); }

std::wstring CategoriesPageTest::Line(const wchar_t* operation, const std::wstring& path, int id) {
    std::wstring line = operation;
    if (id >= 0) line += L" " + std::to_wstring(id);
    return line + L" " + FullPath(path);
}

std::vector<std::wstring> CategoriesPageTest::AllTextsApplied(const std::wstring& path) {
    std::vector<std::wstring> lines;
    for (int id : {DOCPROP_TITLE, DOCPROP_SUBJECT, DOCPROP_AUTHOR, DOCPROP_COMMENTS}) {
        lines.push_back(Line(L"SetStringProperty", path, id));
    }
    lines.push_back(Line(L"SaveDocument", path));
    lines.push_back(Line(L"UpdateDocument", path));
    return lines;
}

std::string CategoriesPageTest::ReadStoreFile() const {
    return zrvtest::ReadFileBytes(m_storeFile);
}

void CategoriesPageTest::WriteStoreFile(const std::string& bytes) const {
    ASSERT_TRUE(zrvtest::WriteFileBytes(m_storeFile, bytes));
}

std::wstring CategoriesPageTest::HelpLog() const {
    return Widen(zrvtest::ReadFileBytes(m_helpLog));
}

CategoriesSheet::CategoriesSheet(const std::vector<std::wstring>& paths)
    : m_sheet({&CZRVPropSheet_Category::Create}, paths) {
    if (m_sheet.ok()) m_page = m_sheet.Page(0);
}

std::wstring CategoriesSheet::Text(int id) const {
    return zrvtest::WindowText(::GetDlgItem(m_page, id));
}

bool CategoriesSheet::Enabled(int id) const {
    return ::IsWindowEnabled(::GetDlgItem(m_page, id)) != FALSE;
}

int CategoriesSheet::EditingEnabled() const {
    int enabled = 0;
    const int ids[] = {kTitle, kSubject, kAuthor, kComments, kAddButton, kRemoveButton};
    for (int id : ids) enabled += Enabled(id) ? 1 : 0;
    return enabled == ARRAYSIZE(ids) ? 1 : enabled == 0 ? 0 : -1;
}

HWND CategoriesSheet::AvailableList() const {
    return ListBoxIn(::GetDlgItem(m_page, kAvailableFrame));
}
HWND CategoriesSheet::AssignedList() const {
    return ListBoxIn(::GetDlgItem(m_page, kAssignedFrame));
}

bool CategoriesSheet::Select(HWND list, const std::vector<std::wstring>& names) {
    ::SendMessageW(list, LB_SETSEL, FALSE, -1);
    for (const std::wstring& name : names) {
        const LRESULT index = ::SendMessageW(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                             reinterpret_cast<LPARAM>(name.c_str()));
        if (index == LB_ERR) return false;
        ::SendMessageW(list, LB_SETSEL, TRUE, index);
    }
    return true;
}

void CategoriesSheet::ForgetChanges() {
    PropSheet_UnChanged(m_sheet.sheet(), m_page);
    m_sheet.Pump();
}

bool CategoriesSheet::WaitForItems(HWND list, const std::vector<std::wstring>& expected) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        m_sheet.Pump(10);
        if (ListItems(list) == expected) return true;
        if (::GetTickCount() - start > 3000) return false;
    }
}

}  // namespace zrvcattest
