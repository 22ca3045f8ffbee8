// The page when a component cannot give what it should: a store that cannot
// be read, and application services without the list of editable types.

#include <gtest/gtest.h>

#include <algorithm>

#include "components/component_ids.h"
#include "pages/categories/categories_fixture.h"
#include "pages/categories/class_without.h"
#include "common/message_box_watch.h"

namespace zrvcattest {
namespace {

class MissingAnswers : public CategoriesPageTest {};

// The stand-in store's list of properties whose reads fail, as it reads it.
std::wstring FailingReads(std::initializer_list<int> ids) {
    std::wstring list;
    for (int id : ids) list += (list.empty() ? L"" : L",") + std::to_wstring(id);
    return list;
}

// A read that failed says nothing about what is stored; writing the names of
// one press in its place would drop every other category of the document.
TEST_F(MissingAnswers, ArrowPressAfterAFailedReadWritesNothing) {
    const std::wstring doc = Document(L"Busy.doc");
    Store(doc, DOCPROP_CATEGORIES, L"Work; Home");
    CategoriesSheet sheet({doc});
    ASSERT_TRUE(sheet.ok());

    // The store refuses every operation on a file it cannot parse.
    const std::string stored = ReadStoreFile();
    WriteStoreFile("not a store");
    ClearJournal();
    ASSERT_TRUE(sheet.Select(sheet.AvailableList(), {L"Alpha"}));
    sheet.Add();
    EXPECT_EQ(std::vector<std::wstring>{}, Journal()) << "no write, no save, no announcement";

    WriteStoreFile(stored);
    sheet.Add();
    EXPECT_EQ(L"Home; Work; Alpha", Stored(doc, DOCPROP_CATEGORIES));
}

// A field left empty because its text could not be read says nothing about
// what is stored: Apply writes it only once the user has typed into it.
TEST_F(MissingAnswers, ApplyWritesAnUnreadTextOnlyWhenTheUserTypedIt) {
    const std::wstring doc = Document(L"Locked.doc");
    Store(doc, DOCPROP_TITLE, L"Kept title");
    Store(doc, DOCPROP_SUBJECT, L"Kept subject");
    Store(doc, DOCPROP_COMMENTS, L"Kept comments");
    using Lines = std::vector<std::wstring>;
    {
        ScopedEnvironment failing(L"ZRV_STORE_TEST_FAILING_READS",
                                  FailingReads({DOCPROP_TITLE, DOCPROP_SUBJECT}).c_str());
        CategoriesSheet sheet({doc});
        ASSERT_TRUE(sheet.ok());
        EXPECT_EQ(L"", sheet.Text(kTitle));
        zrvtest::Type(sheet.page(), kSubject, L"New subject");
        ClearJournal();
        sheet.sheet().Apply();
        EXPECT_EQ(L"Kept title", Stored(doc, DOCPROP_TITLE));
        EXPECT_EQ(L"New subject", Stored(doc, DOCPROP_SUBJECT));
        EXPECT_EQ(L"Kept comments", Stored(doc, DOCPROP_COMMENTS));
        EXPECT_EQ((Lines{Line(L"SetStringProperty", doc, DOCPROP_SUBJECT),
                         Line(L"SetStringProperty", doc, DOCPROP_AUTHOR),
                         Line(L"SetStringProperty", doc, DOCPROP_COMMENTS),
                         Line(L"SaveDocument", doc), Line(L"UpdateDocument", doc)}),
                  Journal());

        // A refused Apply leaves the field unread: set back to what it
        // showed, it is not written.
        zrvtest::Type(sheet.page(), kTitle, L"Typed title");
        ::SetFileAttributesW(m_storeFile.c_str(), FILE_ATTRIBUTE_READONLY);
        sheet.sheet().Apply();
        ::SetFileAttributesW(m_storeFile.c_str(), FILE_ATTRIBUTE_NORMAL);
        EXPECT_EQ(1u, sheet.sheet().Messages().size());
        zrvtest::Type(sheet.page(), kTitle, L"");
        sheet.sheet().Apply();
        EXPECT_EQ(L"Kept title", Stored(doc, DOCPROP_TITLE));

        // Once applied, the typed text is what the field stands for.
        zrvtest::Type(sheet.page(), kSubject, L"");
        sheet.sheet().Apply();
        EXPECT_EQ(L"", Stored(doc, DOCPROP_SUBJECT));
    }
    {
        // Nothing read and nothing typed: nothing to save or announce.
        ScopedEnvironment failing(
            L"ZRV_STORE_TEST_FAILING_READS",
            FailingReads({DOCPROP_TITLE, DOCPROP_SUBJECT, DOCPROP_AUTHOR, DOCPROP_COMMENTS})
                .c_str());
        CategoriesSheet sheet({doc});
        ASSERT_TRUE(sheet.ok());
        ClearJournal();
        sheet.sheet().Apply();
        EXPECT_EQ(Lines{}, Journal());
    }
}

// The store refuses a categories text longer than it holds; the page then
// must not save or tell anyone the document changed.
TEST_F(MissingAnswers, ACategoryTheStoreCannotHoldIsNeitherSavedNorAnnounced) {
    const std::wstring doc = Document(L"Crowded.doc");
    const std::wstring nearlyFull(65530, L'N');
    Store(doc, DOCPROP_CATEGORIES, nearlyFull);
    CategoriesSheet sheet({doc});
    ASSERT_TRUE(sheet.ok());
    ClearJournal();
    ASSERT_TRUE(sheet.Select(sheet.AvailableList(), {L"Alpha"}));
    sheet.Add();
    EXPECT_EQ(std::vector<std::wstring>{Line(L"SetStringProperty", doc, DOCPROP_CATEGORIES)},
              Journal());
    EXPECT_EQ(nearlyFull, Stored(doc, DOCPROP_CATEGORIES));
}

// A host that presses OK again while the page's message is up (the box's
// modal loop runs the host's timers and posted messages) starts a second
// Apply inside the first: it is told and refused as well, and the sheet
// stays open with nothing written.
TEST_F(MissingAnswers, OkPressedAgainWhileTheMessageIsUpIsRefusedAgain) {
    const std::wstring doc = Document(L"Twice.doc");
    Store(doc, DOCPROP_TITLE, L"Stored title");
    CategoriesSheet sheet({doc});
    ASSERT_TRUE(sheet.ok());
    zrvtest::Type(sheet.page(), kTitle, L"Typed title");
    ScopedEnvironment failing(L"ZRV_STORE_TEST_FAILING_WRITES", L"0");
    const HWND window = sheet.sheet().sheet();
    std::vector<std::wstring> seen;
    {
        zrvproduct::MessageBoxWatch watch(window, [&](HWND, const std::wstring& text) {
            seen.push_back(text);
            if (seen.size() == 1) PropSheet_PressButton(window, PSBTN_OK);
        });
        PropSheet_PressButton(window, PSBTN_OK);
        sheet.sheet().Pump(200);
    }
    const std::wstring told = zrvtest::ModuleString(IDS_CATEGORIES_NOT_SAVED);
    EXPECT_EQ((std::vector<std::wstring>{told, told}), seen);
    EXPECT_TRUE(PropSheet_GetCurrentPageHwnd(window)) << "the sheet stays open";
    EXPECT_EQ(L"Typed title", sheet.Text(kTitle));
    EXPECT_EQ(L"Stored title", Stored(doc, DOCPROP_TITLE));
}

// Without the list of editable types the page cannot tell whether the file
// may be edited, and treats it as not editable; the arrows would not work
// then anyway.
TEST_F(MissingAnswers, WithoutDocumentTypesNothingIsOfferedForEditing) {
    const std::wstring doc = Document(L"Untyped.doc");
    Store(doc, DOCPROP_TITLE, L"Shown anyway");
    Store(doc, DOCPROP_CATEGORIES, L"Work");
    ClassWithout noTypes(CLSID_AppServices, IID_IAppDocumentTypes);
    ASSERT_TRUE(noTypes.ok());
    CategoriesSheet sheet({doc});
    ASSERT_TRUE(sheet.ok());
    EXPECT_EQ(L"Shown anyway", sheet.Text(kTitle));
    EXPECT_EQ(0, sheet.EditingEnabled());

    ClearJournal();
    ASSERT_TRUE(sheet.Select(sheet.AvailableList(), {L"Alpha"}));
    ::SendMessageW(sheet.page(), WM_COMMAND, MAKEWPARAM(kAddButton, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(sheet.page(), kAddButton)));
    EXPECT_EQ(L"Work", Stored(doc, DOCPROP_CATEGORIES));
    EXPECT_EQ(std::vector<std::wstring>{}, Journal());
}

}  // namespace
}  // namespace zrvcattest
