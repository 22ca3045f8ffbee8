#pragma once
// What the Life Cycle page tests share: a private document store per test
// (named through the environment, as child processes inherit it), a fixed
// clock, the page shown in a real sheet through the real handler, and small
// readers and drivers of the page's controls.

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "pages/common/page_harness.h"
#include "resources/resource.h"
#include "store/core/document_record.h"

namespace zrvlifecycletest {

// Control ids of the page, as its template names them.
enum : int {
    kNone = IDC_LIFECYCLE_EXPIRE_NONE,
    kOneYear = IDC_LIFECYCLE_EXPIRE_1_YEAR,
    kTwoYears = IDC_LIFECYCLE_EXPIRE_2_YEARS,
    kThreeYears = IDC_LIFECYCLE_EXPIRE_3_YEARS,
    kCustomDate = IDC_LIFECYCLE_EXPIRE_CUSTOM,
    kPicker = IDC_LIFECYCLE_CUSTOM_DATE,
    kReminder = IDC_LIFECYCLE_REMINDER,
    kBurn = IDC_LIFECYCLE_BURN_DISC,
};
// The eight controls that the store's answer enables or disables.
extern const int kLifeCycleControls[8];

SYSTEMTIME Utc(WORD year, WORD month, WORD day, WORD hour = 0, WORD minute = 0);
// A UTC moment as the store keeps it: the FILETIME's 64 bits.
ULONGLONG Ticks(const SYSTEMTIME& utc);
SYSTEMTIME AsDate(ULONGLONG ticks);
std::string DateText(const SYSTEMTIME& time);

// Makes the page's "now" the given moment until the test ends.
void FixClock(const SYSTEMTIME& utc);

struct StoredValues {
    ULONGLONG expiration;
    DWORD reminder;
    DWORD burn;
};

// One line of the store's journal: operation, property id (-1 if none), path.
struct JournalEntry {
    std::string operation;
    int id;
    std::wstring path;
};

class LifeCycleTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // A new file in the test's folder.
    std::wstring Document(const wchar_t* name);
    void Seed(const std::wstring& path, const StoredValues& values);
    void SetReadOnly(const std::wstring& path, bool readOnly);
    // What the store holds for path now; an empty record if nothing.
    zrvstore::DocumentRecord Stored(const std::wstring& path);
    std::vector<JournalEntry> Journal();
    void ClearJournal();

    // The Life Cycle page of paths in a sheet, once per copy.
    std::unique_ptr<zrvtest::PageSheet> Open(const std::vector<std::wstring>& paths,
                                             int copies = 1);

    std::wstring m_folder;
    std::wstring m_storeFile;
};

bool IsVisible(HWND page, int id);
bool IsEnabled(HWND page, int id);
int CheckedChoice(HWND page);  // the checked expiration button, 0 if none
SYSTEMTIME PickerDate(HWND page);
int ReminderSelection(HWND page);
std::vector<std::wstring> ReminderTexts(HWND page);

// What a user's choice in the reminder list sends.
void ChooseReminder(HWND page, int index);
// What a user's date in the picker sends.
void PickDate(HWND page, const SYSTEMTIME& date);

}  // namespace zrvlifecycletest
