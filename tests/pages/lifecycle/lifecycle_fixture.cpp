#include "lifecycle_fixture.h"

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>

#include "common/localizer_map_host.h"
#include "common/test_paths.h"
#include "handlers/prop_sheet_handlers.h"
#include "pages/lifecycle/lifecycle_clock.h"
#include "store/core/document_store.h"
#include "store/core/store_journal.h"
#include "store/core/store_paths.h"
#include "store/core/utf8.h"

namespace zrvlifecycletest {

const int kLifeCycleControls[8] = {kNone,       kOneYear, kTwoYears, kThreeYears,
                                   kCustomDate, kPicker,  kReminder, kBurn};

namespace {

SYSTEMTIME g_now = {};

void FixedClock(SYSTEMTIME* now) { *now = g_now; }

std::wstring Normalized(const std::wstring& path) {
    std::wstring normalized;
    zrvstore::NormalizeDocumentPath(path.c_str(), normalized);
    return normalized;
}

}  // namespace

SYSTEMTIME Utc(WORD year, WORD month, WORD day, WORD hour, WORD minute) {
    SYSTEMTIME time = {};
    time.wYear = year;
    time.wMonth = month;
    time.wDay = day;
    time.wHour = hour;
    time.wMinute = minute;
    return time;
}

ULONGLONG Ticks(const SYSTEMTIME& utc) {
    FILETIME file = {};
    if (!::SystemTimeToFileTime(&utc, &file)) return 0;
    return (ULONGLONG{file.dwHighDateTime} << 32) | file.dwLowDateTime;
}

SYSTEMTIME AsDate(ULONGLONG ticks) {
    const FILETIME file = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    SYSTEMTIME date = {};
    ::FileTimeToSystemTime(&file, &date);
    return date;
}

std::string DateText(const SYSTEMTIME& time) {
    char text[64];
    std::snprintf(text, sizeof(text), "%04u-%02u-%02u %02u:%02u:%02u.%03u", time.wYear, time.wMonth,
                  time.wDay, time.wHour, time.wMinute, time.wSecond, time.wMilliseconds);
    return text;
}

void FixClock(const SYSTEMTIME& utc) {
    g_now = utc;
    zrv::SetLifeCycleClockForTesting(&FixedClock);
}

void LifeCycleTest::SetUp() {
    // Texts come from the application services in this process, as in the
    // product, rather than from its out-of-process server on every lookup.
    static zrvproduct::LocalizerMapHost localizerMap;
    ASSERT_TRUE(localizerMap.ok());
    m_folder = zrvtest::MakeScratchFolder(L"lifecycle");
    ASSERT_FALSE(m_folder.empty());
    m_storeFile = m_folder + L"\\documents.store";
    ::SetEnvironmentVariableW(L"ZRV_DOCUMENT_STORE", m_storeFile.c_str());
}

void LifeCycleTest::TearDown() {
    zrv::SetLifeCycleClockForTesting(nullptr);
    ::SetEnvironmentVariableW(L"ZRV_DOCUMENT_STORE", nullptr);
    zrvtest::RemoveTree(m_folder);
}

std::wstring LifeCycleTest::Document(const wchar_t* name) {
    const std::wstring path = m_folder + L"\\" + name;
    EXPECT_TRUE(zrvtest::WriteFileBytes(path, "document"));
    return path;
}

void LifeCycleTest::Seed(const std::wstring& path, const StoredValues& values) {
    zrvstore::DocumentChanges changes;
    changes.properties.SetValue(zrvstore::kExpirationId, values.expiration);
    changes.properties.SetValue(zrvstore::kReminderId, values.reminder);
    changes.properties.SetValue(zrvstore::kBurnDiscId, values.burn);
    zrvstore::DocumentStore store;
    ASSERT_HRESULT_SUCCEEDED(store.Initialize(m_storeFile));
    ASSERT_HRESULT_SUCCEEDED(
        store.Commit(Normalized(path), changes, zrvstore::DocumentStore::ReadOnlyRule::Ignore));
}

void LifeCycleTest::SetReadOnly(const std::wstring& path, bool readOnly) {
    zrvstore::DocumentChanges changes;
    changes.changeReadOnly = true;
    changes.readOnly = readOnly;
    zrvstore::DocumentStore store;
    ASSERT_HRESULT_SUCCEEDED(store.Initialize(m_storeFile));
    ASSERT_HRESULT_SUCCEEDED(
        store.Commit(Normalized(path), changes, zrvstore::DocumentStore::ReadOnlyRule::Ignore));
}

zrvstore::DocumentRecord LifeCycleTest::Stored(const std::wstring& path) {
    zrvstore::DocumentStore store;
    zrvstore::DocumentRecord record;
    bool found = false;
    EXPECT_HRESULT_SUCCEEDED(store.Initialize(m_storeFile));
    EXPECT_HRESULT_SUCCEEDED(store.Find(Normalized(path), record, found));
    return found ? record : zrvstore::DocumentRecord();
}

std::vector<JournalEntry> LifeCycleTest::Journal() {
    std::string text;
    EXPECT_HRESULT_SUCCEEDED(zrvstore::StoreJournal(m_storeFile).Read(text));
    std::vector<JournalEntry> entries;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        JournalEntry entry{line.substr(0, line.find(' ')), -1, L""};
        size_t rest = line.find(' ');
        if (rest == std::string::npos) continue;
        ++rest;
        if (entry.operation.rfind("Set", 0) == 0) {
            const size_t space = line.find(' ', rest);
            entry.id = std::atoi(line.substr(rest, space - rest).c_str());
            rest = space == std::string::npos ? line.size() : space + 1;
        }
        entry.path = zrvstore::FromUtf8(line.substr(rest));
        entries.push_back(entry);
    }
    return entries;
}

void LifeCycleTest::ClearJournal() {
    EXPECT_HRESULT_SUCCEEDED(zrvstore::StoreJournal(m_storeFile).Clear());
}

std::unique_ptr<zrvtest::PageSheet> LifeCycleTest::Open(const std::vector<std::wstring>& paths,
                                                        int copies) {
    std::vector<ObjectCreator> handlers(copies, &CZRVPropSheet_LifeCycle::Create);
    auto sheet = std::make_unique<zrvtest::PageSheet>(handlers, paths);
    EXPECT_TRUE(sheet->ok());
    return sheet;
}

bool IsVisible(HWND page, int id) {
    return (::GetWindowLongW(::GetDlgItem(page, id), GWL_STYLE) & WS_VISIBLE) != 0;
}

bool IsEnabled(HWND page, int id) { return ::IsWindowEnabled(::GetDlgItem(page, id)) != FALSE; }

int CheckedChoice(HWND page) {
    for (int id = kNone; id <= kCustomDate; ++id) {
        if (::IsDlgButtonChecked(page, id) == BST_CHECKED) return id;
    }
    return 0;
}

SYSTEMTIME PickerDate(HWND page) {
    SYSTEMTIME date = {};
    DateTime_GetSystemtime(::GetDlgItem(page, kPicker), &date);
    return date;
}

int ReminderSelection(HWND page) {
    return static_cast<int>(::SendDlgItemMessageW(page, kReminder, CB_GETCURSEL, 0, 0));
}

std::vector<std::wstring> ReminderTexts(HWND page) {
    std::vector<std::wstring> texts;
    const int count = static_cast<int>(::SendDlgItemMessageW(page, kReminder, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        wchar_t text[260] = {};
        ::SendDlgItemMessageW(page, kReminder, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        texts.emplace_back(text);
    }
    return texts;
}

void ChooseReminder(HWND page, int index) {
    HWND list = ::GetDlgItem(page, kReminder);
    ::SendMessageW(list, CB_SETCURSEL, index, 0);
    ::SendMessageW(page, WM_COMMAND, MAKEWPARAM(kReminder, CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(list));
}

void PickDate(HWND page, const SYSTEMTIME& date) {
    HWND picker = ::GetDlgItem(page, kPicker);
    DateTime_SetSystemtime(picker, GDT_VALID, &date);
    NMDATETIMECHANGE change = {};
    change.nmhdr.hwndFrom = picker;
    change.nmhdr.idFrom = kPicker;
    change.nmhdr.code = DTN_DATETIMECHANGE;
    change.dwFlags = GDT_VALID;
    change.st = date;
    ::SendMessageW(page, WM_NOTIFY, kPicker, reinterpret_cast<LPARAM>(&change));
}

}  // namespace zrvlifecycletest
