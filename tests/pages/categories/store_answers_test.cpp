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
