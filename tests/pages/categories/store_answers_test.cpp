// The page when a component cannot give what it should: a store that cannot
// be read, and application services without the list of editable types.

#include <gtest/gtest.h>

#include "categories_fixture.h"
#include "class_without.h"
#include "component_ids.h"

namespace cattest {
namespace {

class MissingAnswers : public CategoriesPageTest {};

// A read that failed says nothing about what is stored; writing the names of
// one press in its place would drop every other category of the document.
TEST_F(MissingAnswers, ArrowPressAfterAFailedReadWritesNothing) {
    const std::wstring doc = Document(L"Busy.doc");
    Store(doc, 3, L"Work; Home");
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
    EXPECT_EQ(L"Home; Work; Alpha", Stored(doc, 3));
}

// A field left empty because its text could not be read says nothing about
// what is stored: Apply writes it only once the user has typed into it.
TEST_F(MissingAnswers, ApplyWritesAnUnreadTextOnlyWhenTheUserTypedIt) {
    const std::wstring doc = Document(L"Locked.doc");
    Store(doc, 0, L"Kept title");
    Store(doc, 1, L"Kept subject");
    Store(doc, 4, L"Kept comments");
    using Lines = std::vector<std::wstring>;
    {
        ScopedEnvironment failing(L"ZRV_STORE_TEST_FAILING_READS", L"0,1");
        CategoriesSheet sheet({doc});
        ASSERT_TRUE(sheet.ok());
        EXPECT_EQ(L"", sheet.Text(312));
        zrvtest::Type(sheet.page(), 313, L"New subject");
        ClearJournal();
        sheet.sheet().Apply();
        EXPECT_EQ(L"Kept title", Stored(doc, 0));
        EXPECT_EQ(L"New subject", Stored(doc, 1));
        EXPECT_EQ(L"Kept comments", Stored(doc, 4));
        EXPECT_EQ((Lines{Line(L"SetStringProperty", doc, 1), Line(L"SetStringProperty", doc, 2),
                         Line(L"SetStringProperty", doc, 4), Line(L"SaveDocument", doc),
                         Line(L"UpdateDocument", doc)}),
                  Journal());

        // Once applied, the typed text is what the field stands for.
        zrvtest::Type(sheet.page(), 313, L"");
        sheet.sheet().Apply();
        EXPECT_EQ(L"", Stored(doc, 1));
    }
    {
        // Nothing read and nothing typed: nothing to save or announce.
        ScopedEnvironment failing(L"ZRV_STORE_TEST_FAILING_READS", L"0,1,2,4");
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
    Store(doc, 3, nearlyFull);
    CategoriesSheet sheet({doc});
    ASSERT_TRUE(sheet.ok());
    ClearJournal();
    ASSERT_TRUE(sheet.Select(sheet.AvailableList(), {L"Alpha"}));
    sheet.Add();
    EXPECT_EQ(std::vector<std::wstring>{Line(L"SetStringProperty", doc, 3)}, Journal());
    EXPECT_EQ(nearlyFull, Stored(doc, 3));
}

// Without the list of editable types the page cannot tell whether the file
// may be edited, and treats it as not editable; the arrows would not work
// then anyway.
TEST_F(MissingAnswers, WithoutDocumentTypesNothingIsOfferedForEditing) {
    const std::wstring doc = Document(L"Untyped.doc");
    Store(doc, 0, L"Shown anyway");
    Store(doc, 3, L"Work");
    ClassWithout noTypes(CLSID_AppServices, IID_IAppDocumentTypes);
    ASSERT_TRUE(noTypes.ok());
    CategoriesSheet sheet({doc});
    ASSERT_TRUE(sheet.ok());
    EXPECT_EQ(L"Shown anyway", sheet.Text(312));
    EXPECT_EQ(0, sheet.EditingEnabled());

    ClearJournal();
    ASSERT_TRUE(sheet.Select(sheet.AvailableList(), {L"Alpha"}));
    ::SendMessageW(sheet.page(), WM_COMMAND, MAKEWPARAM(1016, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(sheet.page(), 1016)));
    EXPECT_EQ(L"Work", Stored(doc, 3));
    EXPECT_EQ(std::vector<std::wstring>{}, Journal());
}

}  // namespace
}  // namespace cattest
