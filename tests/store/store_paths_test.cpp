// Paths the store meets: a store file deep in long folders, and documents
// named in the \\?\ form as well as the plain one.

#include <windows.h>

#include <gtest/gtest.h>

#include "common/test_paths.h"
#include "store/core/store_format.h"
#include "store/store_test_support.h"

using namespace zrvstoretest;

namespace {

class StorePaths : public StoreTest {};

TEST_F(StorePaths, AStoreFileFarPastMaxPathIsOpenedOrNamesItsLimit) {
    std::wstring deep = m_folder;
    while (deep.size() < 600) deep += L"\\" + std::wstring(120, L'd');
    ::SetEnvironmentVariableW(L"ZRV_DOCUMENT_STORE", (deep + L"\\documents.store").c_str());
    const std::wstring doc = L"\"" + Document(L"deep.txt") + L"\"";
    std::string out;
    ASSERT_EQ(0, RunStoreTool(L"set " + doc + L" title Deep", out)) << out;
    EXPECT_EQ(0, RunStoreTool(L"get " + doc + L" title", out)) << out;
    EXPECT_EQ("Deep\n", out);

    const std::wstring tooLong = m_folder + L"\\" + std::wstring(32752 - m_folder.size(), L'x');
    ::SetEnvironmentVariableW(L"ZRV_DOCUMENT_STORE", tooLong.c_str());
    EXPECT_EQ(1, RunStoreTool(L"list", out)) << out;
    EXPECT_NE(std::string::npos, out.find("longer than 32752 characters")) << out;
}

TEST_F(StorePaths, TheLongFormAndThePlainFormAreOneDocument) {
    const std::wstring plain = Document(L"one.txt");
    const std::wstring longForm = L"\\\\?\\" + plain;
    std::string out;
    ASSERT_EQ(0, RunStoreTool(L"set \"" + longForm + L"\" title Long", out)) << out;
    ASSERT_EQ(0, RunStoreTool(L"set \"" + plain + L"\" subject Plain", out)) << out;
    ASSERT_EQ(0, RunStoreTool(L"list", out)) << out;
    EXPECT_EQ(std::vector<std::string>{Narrow(plain)}, Lines(out));

    RawCatalog catalog;
    ASSERT_EQ(S_OK, catalog.OpenDocument(longForm.c_str()));
    EXPECT_EQ(L"Long", catalog.Text(0));
    EXPECT_EQ(L"Plain", catalog.Text(1));
}

TEST_F(StorePaths, RecordsSavedInTheLongFormAreStillFound) {
    zrvstore::DocumentRecord saved;
    saved.path = L"\\\\?\\" + Document(L"old.txt");
    saved.SetText(0, L"Old title");
    std::string bytes;
    ASSERT_EQ(S_OK, zrvstore::SerializeStore({saved}, bytes));
    ASSERT_TRUE(zrvtest::WriteFileBytes(m_storeFile, bytes));

    RawCatalog catalog;
    ASSERT_EQ(S_OK, catalog.OpenDocument(Document(L"old.txt").c_str()));
    EXPECT_EQ(L"Old title", catalog.Text(0));
    EXPECT_EQ(S_OK, catalog.SetText(1, L"New subject"));
    EXPECT_EQ(S_OK, catalog.SaveDocument(Document(L"old.txt").c_str()));
    std::string out;
    ASSERT_EQ(0, RunStoreTool(L"list", out)) << out;
    EXPECT_EQ(std::vector<std::string>{Narrow(saved.path)}, Lines(out));
    ASSERT_EQ(0, RunStoreTool(L"get \"" + Document(L"old.txt") + L"\" subject", out)) << out;
    EXPECT_EQ("New subject\n", out);
}

}  // namespace
