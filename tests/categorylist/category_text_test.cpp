// Reading category names from a document's categories text and from the
// catalogue file.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "categorylist/category_names.h"
#include "categorylist/category_sources.h"
#include "categorylist/control_host.h"
#include "common/test_paths.h"

using zrvcatlist::DecodeTextFile;
using zrvcatlist::ParseCatalogue;
using zrvcatlist::SplitCategoryText;
using Names = std::vector<std::wstring>;

TEST(CategoryText, DocumentTextGivesTrimmedUniqueNames) {
    EXPECT_EQ(SplitCategoryText(L"Work; Home"), (Names{L"Work", L"Home"}));
    EXPECT_EQ(SplitCategoryText(L"a;b"), SplitCategoryText(L"a; b"));
    // Empty pieces, pieces of blanks only, and a trailing separator as the
    // page writes it after removing a name give no names.
    EXPECT_EQ(SplitCategoryText(L"a;;b; ;\t; "), (Names{L"a", L"b"}));
    EXPECT_EQ(SplitCategoryText(L" ;; "), Names{});
    EXPECT_EQ(SplitCategoryText(nullptr), Names{});
    EXPECT_EQ(SplitCategoryText(L""), Names{});
    // Blanks inside a name belong to it; case tells names apart.
    EXPECT_EQ(SplitCategoryText(L"  New  York ;a; a ;A"), (Names{L"New  York", L"a", L"A"}));
    EXPECT_EQ(SplitCategoryText(L"x"), (Names{L"x"}));
}

TEST(CategoryText, CatalogueFileIsOneNamePerLineInAnyEncoding) {
    const Names expected{L"Travel", L"Business", L"Finance", L"Clients", L"Caf\u00e9"};
    // UTF-8 with a byte-order mark, Windows line ends, blank lines, blanks
    // around names, a repeated name and a line that lists two names.
    const std::string utf8 =
        "\xEF\xBB\xBF Travel \r\nBusiness\r\n\r\n  \r\nFinance; Clients\r\nBusiness\r\nCaf\xC3\xA9";
    EXPECT_EQ(ParseCatalogue(DecodeTextFile(utf8)), expected);
    // The same without a byte-order mark, with Unix and old Mac line ends.
    EXPECT_EQ(ParseCatalogue(DecodeTextFile("Travel\nBusiness\rFinance;Clients\n\nCaf\xC3\xA9\n")),
              expected);

    // UTF-16 in both byte orders.
    const std::wstring text = L"Travel\r\nBusiness\r\nFinance\r\nClients\r\nCaf\u00e9\r\n";
    std::string little("\xFF\xFE", 2);
    std::string big("\xFE\xFF", 2);
    for (wchar_t c : text) {
        little += static_cast<char>(c & 0xFF);
        little += static_cast<char>(c >> 8);
        big += static_cast<char>(c >> 8);
        big += static_cast<char>(c & 0xFF);
    }
    EXPECT_EQ(ParseCatalogue(DecodeTextFile(little)), expected);
    EXPECT_EQ(ParseCatalogue(DecodeTextFile(big)), expected);
    // A UTF-16 file cut after an odd number of bytes loses only the half
    // character.
    EXPECT_EQ(ParseCatalogue(DecodeTextFile(little + "A")), expected);

    // Not UTF-8 and no mark: the system code page (Latin-1 "Caf\xE9" here).
    EXPECT_EQ(ParseCatalogue(DecodeTextFile("Caf\xE9\r\n")), (Names{L"Caf\u00e9"}));
    EXPECT_EQ(ParseCatalogue(DecodeTextFile("")), Names{});
    EXPECT_EQ(ParseCatalogue(DecodeTextFile("\xFF\xFE")), Names{});
    // A NUL does not hide the names after it.
    EXPECT_EQ(ParseCatalogue(std::wstring(L"a\0b", 3)), (Names{L"a", L"b"}));
}

TEST(CategoryText, CatalogueLocation) {
    const std::wstring shipped = zrvtest::ProgramFolder() + L"categories.txt";
    {
        zrvcatlisttest::ScopedEnvironment variable(L"ZRV_CATEGORY_CATALOG",
                                                   L"C:\\elsewhere\\c.txt");
        EXPECT_EQ(zrvcatlist::CataloguePath(), L"C:\\elsewhere\\c.txt");
    }
    zrvcatlisttest::ScopedEnvironment unset(L"ZRV_CATEGORY_CATALOG", nullptr);
    wchar_t appData[MAX_PATH] = {};
    ASSERT_NE(::GetEnvironmentVariableW(L"APPDATA", appData, MAX_PATH), 0u);
    const std::wstring folder = std::wstring(appData) + L"\\Lumatrel\\DocumentStore";
    const std::wstring userCopy = folder + L"\\categories.txt";
    if (::GetFileAttributesW(userCopy.c_str()) != INVALID_FILE_ATTRIBUTES) {
        GTEST_SKIP() << "this prefix has a catalogue of its own in the application data folder";
    }
    // Comparing case-insensitively: module paths come back as the loader
    // spells them.
    EXPECT_EQ(::lstrcmpiW(zrvcatlist::CataloguePath().c_str(), shipped.c_str()), 0);

    ::CreateDirectoryW((std::wstring(appData) + L"\\Lumatrel").c_str(), nullptr);
    ::CreateDirectoryW(folder.c_str(), nullptr);
    ASSERT_TRUE(zrvtest::WriteFileBytes(userCopy, "Mine\r\n"));
    EXPECT_EQ(zrvcatlist::CataloguePath(), userCopy);
    EXPECT_EQ(zrvcatlist::LoadCatalogueNames(), (Names{L"Mine"}));
    ::DeleteFileW(userCopy.c_str());
    EXPECT_EQ(::lstrcmpiW(zrvcatlist::CataloguePath().c_str(), shipped.c_str()), 0);
}
