// What the page does with values it cannot show and with a store it cannot
// use: it keeps what it did not understand and writes nothing it was not
// asked to.

#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "common/test_paths.h"
#include "lifecycle_fixture.h"

using namespace lifecycletest;
using zrvtest::Click;

namespace {

std::string FileBytes(const std::wstring& path) {
    std::ifstream in(std::string(path.begin(), path.end()), std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

TEST_F(LifeCycleTest, StoredValuesThePageCannotShowSurviveAnApply) {
    const struct {
        const char* what;
        ULONGLONG expiration;
        DWORD reminder;
    } cases[] = {
        // The picker keeps whole milliseconds only.
        {"a date with a fraction of a millisecond", Ticks(Utc(2030, 6, 1, 9, 0)) + 12345, 7},
        // Before the first date the picker offers.
        {"a date in 1700", Ticks(Utc(1700, 3, 1)), 3},
        // Not a moment a SYSTEMTIME can hold at all.
        {"a value past the FILETIME range", 0x8000000000000001ull, 0xFFFFFFFFu},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::wstring path = Document(L"odd.doc");
        Seed(path, {c.expiration, c.reminder, 1});
        auto sheet = Open({path});
        HWND page = sheet->Page(0);
        ASSERT_TRUE(page);
        EXPECT_EQ(kCustomDate, CheckedChoice(page)) << "there is an expiration";
        EXPECT_EQ(CB_ERR, ReminderSelection(page)) << "no item stands for " << c.reminder;

        Click(page, kBurn);
        sheet->Apply();
        const zrvstore::DocumentRecord stored = Stored(path);
        EXPECT_EQ(c.expiration, stored.expiration);
        EXPECT_EQ(c.reminder, stored.reminder);
        EXPECT_EQ(0u, stored.burnDisc) << "the change the user made is written";
    }
}

TEST_F(LifeCycleTest, ADamagedStoreShowsDefaultsEnablesNothingAndIsLeftAlone) {
    const std::wstring path = Document(L"any.doc");
    const std::string garbage = "this is not a document store\r\n";
    ASSERT_TRUE(zrvtest::WriteFileBytes(m_storeFile, garbage));
    auto sheet = Open({path});
    HWND page = sheet->Page(0);
    ASSERT_TRUE(page);
    EXPECT_EQ(kNone, CheckedChoice(page));
    EXPECT_EQ(0, ReminderSelection(page));
    EXPECT_FALSE(zrvtest::IsChecked(page, kBurn));
    for (int id : kLifeCycleControls) EXPECT_FALSE(IsEnabled(page, id)) << id;

    sheet->Apply();
    sheet->Close();
    EXPECT_EQ(garbage, FileBytes(m_storeFile));
    EXPECT_TRUE(Journal().empty());
}

TEST_F(LifeCycleTest, WithoutAStoreThePageKeepsItsTemplateStatesAndApplyDoesNothing) {
    const std::wstring path = Document(L"lonely.doc");
    // A store name the store cannot use: the catalog cannot be created.
    const std::wstring tooLong(700, L'x');
    ::SetEnvironmentVariableW(L"ZRV_DOCUMENT_STORE", tooLong.c_str());
    auto sheet = Open({path});
    HWND page = sheet->Page(0);
    ASSERT_TRUE(page);
    EXPECT_EQ(kNone, CheckedChoice(page));
    for (int id = kNone; id <= kCustomDate; ++id) EXPECT_TRUE(IsEnabled(page, id)) << id;
    EXPECT_FALSE(IsEnabled(page, kPicker));
    EXPECT_FALSE(IsEnabled(page, kReminder));
    EXPECT_FALSE(IsEnabled(page, kBurn));

    // The controls still follow the choices; Apply has nowhere to write.
    Click(page, kCustomDate);
    EXPECT_TRUE(IsEnabled(page, kPicker));
    EXPECT_TRUE(IsEnabled(page, kReminder));
    sheet->Apply();
    sheet->Close();
    ::SetEnvironmentVariableW(L"ZRV_DOCUMENT_STORE", m_storeFile.c_str());
    EXPECT_FALSE(Stored(path).Has(17));
}

}  // namespace
