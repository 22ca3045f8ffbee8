// The Life Cycle page in a real sheet, reading and writing the real document
// store: what it shows for what is stored, what Apply writes for each choice,
// when it counts as changed, and what a store that refuses the change gets.

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include "pages/lifecycle/lifecycle_fixture.h"

using namespace zrvlifecycletest;
using zrvtest::Click;

namespace {

TEST_F(LifeCycleTest, NoStoredExpirationShowsNoneWithReminderAndBurnDisabled) {
    // Either half of the FILETIME zero counts as no expiration; the reminder
    // and burn values are read all the same. An OK that the user changed
    // nothing for writes all three back as they were.
    const struct {
        const wchar_t* name;
        bool seeded;
        StoredValues values;
    } cases[] = {
        {L"never-saved.doc", false, {}},
        {L"low-half-only.doc", true, {0x00000000DEADBEEFull, 2, 1}},
        {L"high-half-only.doc", true, {0x01DB000000000000ull, 2, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "document " << std::string(c.name, c.name + wcslen(c.name)));
        const std::wstring path = Document(c.name);
        if (c.seeded) Seed(path, c.values);
        auto sheet = Open({path});
        HWND page = sheet->Page(0);
        ASSERT_TRUE(page);

        EXPECT_EQ(kNone, CheckedChoice(page));
        EXPECT_FALSE(IsVisible(page, kPicker));
        EXPECT_FALSE(IsEnabled(page, kReminder));
        EXPECT_FALSE(IsEnabled(page, kBurn));
        for (int id = kNone; id <= kCustomDate; ++id) EXPECT_TRUE(IsEnabled(page, id)) << id;
        EXPECT_EQ((std::vector<std::wstring>{L"None", L"7 Days", L"14 Days"}), ReminderTexts(page));
        EXPECT_EQ(c.seeded ? 2 : 0, ReminderSelection(page));
        EXPECT_EQ(c.seeded, zrvtest::IsChecked(page, kBurn));
        EXPECT_FALSE(sheet->ApplyEnabled()) << "opening the page changes nothing";

        EXPECT_TRUE(sheet->Ok());
        const zrvstore::DocumentRecord stored = Stored(path);
        EXPECT_EQ(c.values.expiration, stored.expiration);
        EXPECT_EQ(c.values.reminder, stored.reminder);
        EXPECT_EQ(c.values.burn, stored.burnDisc);
    }
}

TEST_F(LifeCycleTest, StoredDateShowsCustomDateAndIsWrittenBackUnchanged) {
    const std::wstring path = Document(L"dated.doc");
    const SYSTEMTIME date = Utc(2029, 3, 10, 14, 30);
    Seed(path, {Ticks(date), 1, 1});
    auto sheet = Open({path});
    HWND page = sheet->Page(0);
    ASSERT_TRUE(page);

    EXPECT_EQ(kCustomDate, CheckedChoice(page));
    EXPECT_TRUE(IsVisible(page, kPicker));
    EXPECT_TRUE(IsEnabled(page, kPicker));
    EXPECT_EQ(DateText(date), DateText(PickerDate(page)));
    EXPECT_EQ(1, ReminderSelection(page));
    EXPECT_TRUE(zrvtest::IsChecked(page, kBurn));
    EXPECT_TRUE(IsEnabled(page, kReminder));
    EXPECT_TRUE(IsEnabled(page, kBurn));
    EXPECT_FALSE(sheet->ApplyEnabled());

    // Choosing the shown date again and applying writes the same values,
    // commits and announces them.
    Click(page, kCustomDate);
    EXPECT_TRUE(sheet->ApplyEnabled());
    sheet->Apply();
    const zrvstore::DocumentRecord stored = Stored(path);
    EXPECT_EQ(Ticks(date), stored.expiration);
    EXPECT_EQ(1u, stored.reminder);
    EXPECT_EQ(1u, stored.burnDisc);
    std::vector<std::string> operations;
    for (const JournalEntry& e : Journal()) {
        operations.push_back(e.operation + (e.id >= 0 ? " " + std::to_string(e.id) : ""));
    }
    EXPECT_EQ((std::vector<std::string>{"SetProperty 17", "SetProperty 18", "SetProperty 19",
                                        "SaveDocument", "UpdateDocument"}),
              operations);
}

TEST_F(LifeCycleTest, WithinTwoYearsStoresTheDateTwoYearsOnAndReopensAsCustomDate) {
    FixClock(Utc(2027, 3, 10, 14, 30));
    const std::wstring path = Document(L"report.doc");
    {
        auto sheet = Open({path});
        HWND page = sheet->Page(0);
        ASSERT_TRUE(page);
        Click(page, kTwoYears);
        EXPECT_EQ(kTwoYears, CheckedChoice(page)) << "the five buttons act as one group";
        // The picker previews, read-only, the date that Apply will store.
        EXPECT_TRUE(IsVisible(page, kPicker));
        EXPECT_FALSE(IsEnabled(page, kPicker));
        EXPECT_EQ(DateText(Utc(2029, 3, 10, 14, 30)), DateText(PickerDate(page)));
        EXPECT_TRUE(IsEnabled(page, kReminder));
        EXPECT_TRUE(IsEnabled(page, kBurn));
        EXPECT_TRUE(sheet->ApplyEnabled());

        ChooseReminder(page, 2);
        Click(page, kBurn);
        sheet->Apply();
    }
    const zrvstore::DocumentRecord stored = Stored(path);
    EXPECT_EQ(Ticks(Utc(2029, 3, 10, 14, 30)), stored.expiration);
    EXPECT_EQ(2u, stored.reminder);
    EXPECT_EQ(1u, stored.burnDisc);

    // Days later the page still shows the stored date, not a "within" choice.
    FixClock(Utc(2027, 4, 2, 8, 0));
    auto sheet = Open({path});
    HWND page = sheet->Page(0);
    ASSERT_TRUE(page);
    EXPECT_EQ(kCustomDate, CheckedChoice(page));
    EXPECT_TRUE(IsEnabled(page, kPicker));
    EXPECT_EQ(DateText(Utc(2029, 3, 10, 14, 30)), DateText(PickerDate(page)));
    EXPECT_EQ(2, ReminderSelection(page));
    EXPECT_TRUE(zrvtest::IsChecked(page, kBurn));
}

// From 29 February the years ahead end on the last day of February when
// the year has no 29th, as calendar libraries count; every other day keeps
// its date, and every choice the time of day.
TEST_F(LifeCycleTest, DatesChosenInThePickerOrOneToThreeYearsOn) {
    const struct {
        SYSTEMTIME now;
        int choice;
        SYSTEMTIME expected;
    } cases[] = {
        {Utc(2026, 7, 1, 9, 15), kOneYear, Utc(2027, 7, 1, 9, 15)},
        {Utc(2026, 7, 1, 9, 15), kThreeYears, Utc(2029, 7, 1, 9, 15)},
        {Utc(2026, 7, 1, 9, 15), kCustomDate, Utc(2031, 12, 24, 8, 45)},
        {Utc(2028, 2, 29, 10, 0), kTwoYears, Utc(2030, 2, 28, 10, 0)},
        {Utc(2028, 2, 29, 10, 0), kThreeYears, Utc(2031, 2, 28, 10, 0)},
        {Utc(2027, 2, 28, 23, 59), kOneYear, Utc(2028, 2, 28, 23, 59)},
        {Utc(2027, 3, 1, 0, 0), kOneYear, Utc(2028, 3, 1, 0, 0)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << DateText(c.now) << ", choice " << c.choice);
        FixClock(c.now);
        const std::wstring path = Document(L"choice.doc");
        Seed(path, {Ticks(Utc(2040, 1, 1)), 0, 0});
        {
            auto sheet = Open({path});
            HWND page = sheet->Page(0);
            ASSERT_TRUE(page);
            Click(page, kNone);
            Click(page, c.choice);
            if (c.choice == kCustomDate) {
                EXPECT_TRUE(IsEnabled(page, kPicker));
                PickDate(page, c.expected);
            } else {
                EXPECT_TRUE(IsVisible(page, kPicker)) << "the date Apply will store is previewed";
                EXPECT_EQ(DateText(c.expected), DateText(PickerDate(page)));
            }
            sheet->Apply();
        }
        EXPECT_EQ(DateText(c.expected), DateText(AsDate(Stored(path).expiration)));
    }
}

TEST_F(LifeCycleTest, OneYearOnLeapDayStoresTheLastDayOfFebruaryWithReminderAndBurn) {
    FixClock(Utc(2028, 2, 29, 10, 0));
    const std::wstring path = Document(L"leap.doc");
    Seed(path, {Ticks(Utc(2031, 5, 5, 12, 0)), 0, 0});
    auto sheet = Open({path});
    HWND page = sheet->Page(0);
    ASSERT_TRUE(page);
    Click(page, kOneYear);
    ChooseReminder(page, 1);
    Click(page, kBurn);
    sheet->Apply();

    const zrvstore::DocumentRecord stored = Stored(path);
    EXPECT_EQ(DateText(Utc(2029, 2, 28, 10, 0)), DateText(AsDate(stored.expiration)));
    EXPECT_EQ(1u, stored.reminder);
    EXPECT_EQ(1u, stored.burnDisc);
}

// The picker previews the day Apply stores, on leap day too.
TEST_F(LifeCycleTest, OnLeapDayTheYearsAheadChoicesPreviewTheLastDayOfFebruary) {
    FixClock(Utc(2028, 2, 29, 10, 0));
    const std::wstring path = Document(L"leapview.doc");
    Seed(path, {Ticks(Utc(2031, 5, 5, 12, 0)), 0, 0});
    auto sheet = Open({path});
    HWND page = sheet->Page(0);
    ASSERT_TRUE(page);
    const struct {
        int choice;
        WORD year;
    } cases[] = {{kOneYear, 2029}, {kThreeYears, 2031}};
    for (const auto& c : cases) {
        Click(page, c.choice);
        EXPECT_TRUE(IsVisible(page, kPicker)) << c.choice;
        EXPECT_EQ(DateText(Utc(c.year, 2, 28, 10, 0)), DateText(PickerDate(page))) << c.choice;
    }
}

TEST_F(LifeCycleTest, NoneResetsReminderAndBurnWhateverTheControlsShowed) {
    const std::wstring path = Document(L"reset.doc");
    Seed(path, {Ticks(Utc(2030, 1, 1)), 2, 1});
    auto sheet = Open({path});
    HWND page = sheet->Page(0);
    ASSERT_TRUE(page);
    Click(page, kNone);
    EXPECT_FALSE(IsVisible(page, kPicker));
    EXPECT_FALSE(IsEnabled(page, kPicker));
    EXPECT_FALSE(IsEnabled(page, kReminder));
    EXPECT_FALSE(IsEnabled(page, kBurn));
    EXPECT_EQ(2, ReminderSelection(page)) << "the list keeps showing its choice";
    sheet->Apply();

    const zrvstore::DocumentRecord stored = Stored(path);
    for (int id : {17, 18, 19}) {
        EXPECT_TRUE(stored.Has(id)) << id;
        EXPECT_EQ(0u, stored.Value(id)) << id;
    }
}

TEST_F(LifeCycleTest, OnlyClicksAndPickedDatesMarkThePageChanged) {
    const std::wstring path = Document(L"modified.doc");
    Seed(path, {Ticks(Utc(2030, 6, 1)), 0, 0});
    {
        auto sheet = Open({path});
        HWND page = sheet->Page(0);
        ASSERT_TRUE(page);
        ChooseReminder(page, 2);
        EXPECT_FALSE(sheet->ApplyEnabled()) << "a reminder choice alone";
        Click(page, kBurn);
        EXPECT_TRUE(sheet->ApplyEnabled()) << "the burn check box";
    }
    {
        auto sheet = Open({path});
        HWND page = sheet->Page(0);
        ASSERT_TRUE(page);
        PickDate(page, Utc(2032, 2, 2));
        EXPECT_TRUE(sheet->ApplyEnabled()) << "a date from the picker";
    }
}

TEST_F(LifeCycleTest, RefusedChangeDisablesEveryControlOnEveryShowAndApplyWritesNothing) {
    const std::wstring path = Document(L"locked.doc");
    const ULONGLONG date = Ticks(Utc(2030, 9, 9));
    Seed(path, {date, 1, 1});

    SetReadOnly(path, true);
    {
        auto sheet = Open({path});
        HWND page = sheet->Page(0);
        ASSERT_TRUE(page);
        EXPECT_EQ(kCustomDate, CheckedChoice(page)) << "the values are still shown";
        for (int id : kLifeCycleControls) EXPECT_FALSE(IsEnabled(page, id)) << id;
    }

    // The store's answer is asked again each time the page is shown.
    SetReadOnly(path, false);
    auto sheet = Open({path}, 2);
    HWND page = sheet->Page(0);
    ASSERT_TRUE(page);
    for (int id : kLifeCycleControls) EXPECT_TRUE(IsEnabled(page, id)) << id;
    Click(page, kNone);
    SetReadOnly(path, true);
    ClearJournal();
    sheet->Page(1);
    page = sheet->Page(0);
    for (int id : kLifeCycleControls) EXPECT_FALSE(IsEnabled(page, id)) << id;

    sheet->Apply();
    EXPECT_TRUE(Journal().empty()) << "nothing written, saved or announced";
    const zrvstore::DocumentRecord stored = Stored(path);
    EXPECT_EQ(date, stored.expiration);
    EXPECT_EQ(1u, stored.reminder);
    EXPECT_EQ(1u, stored.burnDisc);
}

TEST_F(LifeCycleTest, SeveralFilesReadAndWriteOnlyTheFirst) {
    const std::wstring first = Document(L"first.doc");
    const std::wstring second = Document(L"second.doc");
    Seed(first, {Ticks(Utc(2030, 1, 2)), 1, 1});
    Seed(second, {Ticks(Utc(2035, 5, 6)), 2, 0});
    ClearJournal();
    {
        auto sheet = Open({first, second});
        HWND page = sheet->Page(0);
        ASSERT_TRUE(page);
        EXPECT_EQ(DateText(Utc(2030, 1, 2)), DateText(PickerDate(page)));
        EXPECT_EQ(1, ReminderSelection(page));
        Click(page, kNone);
        sheet->Apply();
    }
    EXPECT_EQ(0u, Stored(first).expiration);
    const zrvstore::DocumentRecord untouched = Stored(second);
    EXPECT_EQ(Ticks(Utc(2035, 5, 6)), untouched.expiration);
    EXPECT_EQ(2u, untouched.reminder);
    EXPECT_EQ(0u, untouched.burnDisc);
    const std::vector<JournalEntry> journal = Journal();
    EXPECT_FALSE(journal.empty());
    for (const JournalEntry& e : journal) {
        EXPECT_EQ(0, _wcsicmp(first.c_str(), e.path.c_str())) << e.operation;
    }
}

}  // namespace
