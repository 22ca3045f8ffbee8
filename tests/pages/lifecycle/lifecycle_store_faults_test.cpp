// What the page does with values it cannot show and with a store it cannot
// use: it keeps what it did not understand and writes nothing it was not
// asked to.

#include <windows.h>

#include <gtest/gtest.h>

#include "common/scoped_environment.h"
#include "common/test_paths.h"
#include "pages/lifecycle/lifecycle_fixture.h"
#include "support/handles.h"

using namespace zrvlifecycletest;
using zrvtest::Click;

namespace {

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
        // Accepted by the picker, which then goes on showing another date.
        {"a date in 1650", Ticks(Utc(1650, 1, 1)), 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::wstring path = Document(L"odd.doc");
        Seed(path, {c.expiration, c.reminder, 1});
        auto sheet = Open({path});
        HWND page = sheet->Page(0);
        ASSERT_TRUE(page);
        EXPECT_EQ(kCustomDate, CheckedChoice(page)) << "there is an expiration";
        if (c.reminder > 2) {
            EXPECT_EQ(CB_ERR, ReminderSelection(page)) << "no item stands for " << c.reminder;
        }
        // The picker shows the day that is kept, or nothing at all; choosing
        // the date's own button again changes neither.
        for (int pass = 0; pass < 2; ++pass) {
            if (IsVisible(page, kPicker)) {
                EXPECT_EQ(DateText(AsDate(c.expiration)).substr(0, 10),
                          DateText(PickerDate(page)).substr(0, 10));
            }
            Click(page, kCustomDate);
        }

        Click(page, kBurn);
        sheet->Apply();
        const zrvstore::DocumentRecord stored = Stored(path);
        EXPECT_EQ(c.expiration, stored.expiration);
        EXPECT_EQ(c.reminder, stored.reminder);
        EXPECT_EQ(0u, stored.burnDisc) << "the change the user made is written";
    }
}

// The check box shows any non-zero burn value as checked; a value other
// than 0 or 1 is another program's, and is kept while the box is untouched.
TEST_F(LifeCycleTest, AnUntouchedBurnValueOtherThanZeroOrOneSurvivesAnApply) {
    const std::wstring path = Document(L"burnt.doc");
    Seed(path, {Ticks(Utc(2030, 6, 1)), 1, 2});
    auto sheet = Open({path});
    HWND page = sheet->Page(0);
    ASSERT_TRUE(page);
    EXPECT_TRUE(zrvtest::IsChecked(page, kBurn));
    ChooseReminder(page, 2);
    sheet->Apply();
    EXPECT_EQ(2u, Stored(path).reminder);
    EXPECT_EQ(2u, Stored(path).burnDisc);
}

TEST_F(LifeCycleTest, AHiddenStoredDateGivesWayToAChoiceTheUserMakes) {
    FixClock(Utc(2027, 3, 10, 14, 30));
    const std::wstring path = Document(L"ancient.doc");
    Seed(path, {Ticks(Utc(1650, 1, 1)), 1, 0});
    auto sheet = Open({path});
    HWND page = sheet->Page(0);
    ASSERT_TRUE(page);
    Click(page, kOneYear);
    Click(page, kCustomDate);
    EXPECT_TRUE(IsVisible(page, kPicker));
    EXPECT_EQ(DateText(Utc(2028, 3, 10, 14, 30)), DateText(PickerDate(page)));
    sheet->Apply();
    EXPECT_EQ(DateText(Utc(2028, 3, 10, 14, 30)), DateText(AsDate(Stored(path).expiration)));
}

// A value the store could not give leaves its control at the default,
// which an Apply must not take for the user's choice.
TEST_F(LifeCycleTest, ValuesThatCouldNotBeReadAreWrittenOnlyWhenChanged) {
    const ULONGLONG date = Ticks(Utc(2031, 5, 1));
    const std::wstring path = Document(L"locked.doc");
    Seed(path, {date, 2, 1});
    {
        zrvtest::ScopedEnvironment failing(L"ZRV_STORE_TEST_FAILING_READS", L"17");
        auto sheet = Open({path});
        HWND page = sheet->Page(0);
        ASSERT_TRUE(page);
        EXPECT_EQ(kNone, CheckedChoice(page));
        ClearJournal();
        sheet->Apply();
        EXPECT_TRUE(Journal().empty()) << "nothing written, saved or announced";
    }
    {
        zrvtest::ScopedEnvironment failing(L"ZRV_STORE_TEST_FAILING_READS", L"18");
        auto sheet = Open({path});
        HWND page = sheet->Page(0);
        ASSERT_TRUE(page);
        Click(page, kBurn);
        sheet->Apply();
    }
    const zrvstore::DocumentRecord stored = Stored(path);
    EXPECT_EQ(date, stored.expiration);
    EXPECT_EQ(2u, stored.reminder);
    EXPECT_EQ(0u, stored.burnDisc) << "the change the user made is written";

    // Choosing "None" is the user's own choice, and clears all three.
    {
        zrvtest::ScopedEnvironment failing(L"ZRV_STORE_TEST_FAILING_READS", L"17,18,19");
        auto sheet = Open({path});
        HWND page = sheet->Page(0);
        ASSERT_TRUE(page);
        Click(page, kOneYear);
        Click(page, kNone);
        sheet->Apply();
    }
    EXPECT_EQ(0u, Stored(path).expiration);
    EXPECT_EQ(0u, Stored(path).reminder);
}

// A refused Apply leaves nothing behind for the next one to save: a reminder
// that could not be read, changed, refused, and set back by the user is
// left as stored.
TEST_F(LifeCycleTest, AValueSetBackAfterARefusedApplyIsLeftAsStored) {
    const ULONGLONG date = Ticks(Utc(2030, 6, 1));
    const std::wstring path = Document(L"set-back.doc");
    Seed(path, {date, 2, 1});
    std::unique_ptr<zrvtest::PageSheet> sheet;
    {
        zrvtest::ScopedEnvironment failing(L"ZRV_STORE_TEST_FAILING_READS", L"18");
        sheet = Open({path});
    }
    HWND page = sheet->Page(0);
    ASSERT_TRUE(page);
    HWND list = ::GetDlgItem(page, kReminder);
    const int shown = ReminderSelection(page);
    ASSERT_NE(CB_ERR, shown);
    ::SendMessageW(list, CB_SETCURSEL, shown == 0 ? 1 : 0, 0);
    {
        ::SetFileAttributesW(m_storeFile.c_str(), FILE_ATTRIBUTE_READONLY);
        zrv::scope_exit writable(
            [&] { ::SetFileAttributesW(m_storeFile.c_str(), FILE_ATTRIBUTE_NORMAL); });
        EXPECT_FALSE(sheet->Ok()) << "the save is refused";
        EXPECT_EQ(1u, sheet->Messages().size());
    }
    ::SendMessageW(list, CB_SETCURSEL, shown, 0);
    EXPECT_TRUE(sheet->Ok());
    EXPECT_EQ(2u, Stored(path).reminder);
    EXPECT_EQ(date, Stored(path).expiration);
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
    EXPECT_EQ(garbage, zrvtest::ReadFileBytes(m_storeFile));
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
