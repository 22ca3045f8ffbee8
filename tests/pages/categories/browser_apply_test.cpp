// The page as the document browser shows it: the registered module in its
// own process, with the store, the catalogue and the types this test chose.

#include <gtest/gtest.h>

#include "common/test_paths.h"
#include "pages/categories/categories_fixture.h"

namespace zrvcattest {
namespace {

class BrowserCategories : public CategoriesPageTest {};

// With two files the General page stays out and Categories is the first
// tab, so it opens at once; Apply then writes the first file's texts back.
TEST_F(BrowserCategories, ApplyWritesTheFirstDocumentsTextsOnly) {
    const std::wstring first = Document(L"Minutes.doc");
    const std::wstring second = Document(L"Agenda.doc");
    Store(first, DOCPROP_TITLE, L"Minutes");
    Store(first, DOCPROP_CATEGORIES, L"Work");
    Store(second, DOCPROP_TITLE, L"Agenda");
    ClearJournal();

    const std::wstring command = L"\"" + zrvtest::ProgramFolder() +
                                 L"ZRVBrowser.exe\" --apply --close \"" + first + L"\" \"" +
                                 second + L"\"";
    ASSERT_EQ(0, zrvtest::RunProgram(command, 120000));

    EXPECT_EQ(AllTextsApplied(first), Journal());
    EXPECT_EQ(L"Minutes", Stored(first, DOCPROP_TITLE));
    EXPECT_EQ(L"Work", Stored(first, DOCPROP_CATEGORIES));
    EXPECT_EQ(L"Agenda", Stored(second, DOCPROP_TITLE));
}

}  // namespace
}  // namespace zrvcattest
