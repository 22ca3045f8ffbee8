#include "lifecycle_page.h"

#include <commctrl.h>

#include <cstring>

#include "localization/localize_dialog.h"
#include "pages/lifecycle/lifecycle_clock.h"
#include "pages/page_help.h"
#include "resources/resource.h"
#include "support/bstr.h"
#include "support/cstring.h"
#include "support/handles.h"

namespace {

constexpr int kFirstChoice = IDC_LIFECYCLE_EXPIRE_NONE;
constexpr int kLastChoice = IDC_LIFECYCLE_EXPIRE_CUSTOM;

// The reminder texts in list order. Each list item carries the value it
// stands for, so that what is stored never depends on which texts loaded.
constexpr UINT kReminderTexts[] = {IDS_REMINDER_NONE, IDS_REMINDER_7_DAYS, IDS_REMINDER_14_DAYS};

bool IsChecked(HWND page, int id) { return ::IsDlgButtonChecked(page, id) == BST_CHECKED; }

void Enable(HWND page, int id, bool enabled) {
    ::EnableWindow(::GetDlgItem(page, id), enabled ? TRUE : FALSE);
}

// The first checked expiration choice, or 0 when none is checked. The
// buttons are not a dialog group of their own, so they are asked one by one.
int CheckedChoice(HWND page) {
    for (int id = kFirstChoice; id <= kLastChoice; ++id) {
        if (IsChecked(page, id)) return id;
    }
    return 0;
}

WORD YearsAhead(HWND page) {
    if (IsChecked(page, IDC_LIFECYCLE_EXPIRE_1_YEAR)) return 1;
    if (IsChecked(page, IDC_LIFECYCLE_EXPIRE_2_YEARS)) return 2;
    if (IsChecked(page, IDC_LIFECYCLE_EXPIRE_3_YEARS)) return 3;
    return 0;
}

bool IsLeapYear(WORD year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

// Now with the year moved on and everything else, time of day included,
// kept. From 29 February into a year without one it is the last day of
// February, as calendar libraries count years.
SYSTEMTIME YearsFromNow(WORD years) {
    SYSTEMTIME date = zrv::LifeCycleUtcNow();
    date.wYear = static_cast<WORD>(date.wYear + years);
    if (date.wMonth == 2 && date.wDay == 29 && !IsLeapYear(date.wYear)) date.wDay = 28;
    return date;
}

// A UTC date as the store keeps it. Some systems roll a day past the end of
// its month over into the next month rather than refusing it; a date that
// does not exist is refused here on every system.
bool ToFileTime(const SYSTEMTIME& date, FILETIME& file) {
    static const WORD kDaysInMonth[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (date.wMonth < 1 || date.wMonth > 12 || date.wDay < 1) return false;
    const WORD days = static_cast<WORD>(kDaysInMonth[date.wMonth - 1] +
                                        (date.wMonth == 2 && IsLeapYear(date.wYear) ? 1 : 0));
    if (date.wDay > days) return false;
    return ::SystemTimeToFileTime(&date, &file) != FALSE;
}

bool SameDay(const SYSTEMTIME& a, const SYSTEMTIME& b) {
    return a.wYear == b.wYear && a.wMonth == b.wMonth && a.wDay == b.wDay;
}

// The picker accepts some dates it cannot show (before its first day, or
// days that do not exist) and goes on showing its old one: whether it shows
// the date is read back rather than assumed.
bool PickerShows(HWND picker, const SYSTEMTIME& date) {
    SYSTEMTIME shown = {};
    return DateTime_SetSystemtime(picker, GDT_VALID, &date) &&
           DateTime_GetSystemtime(picker, &shown) == GDT_VALID && SameDay(shown, date);
}

}  // namespace

CZRVPropPage_LifeCycle::CZRVPropPage_LifeCycle() noexcept : CZRVPropPage(IDD_LIFECYCLE_PAGE) {}

BOOL CZRVPropPage_LifeCycle::OnInitDialog() noexcept {
    LocalizeDialog(window, IDD_LIFECYCLE_PAGE);

    HWND list = ::GetDlgItem(window, IDC_LIFECYCLE_REMINDER);
    for (DWORD value = 0; value < ARRAYSIZE(kReminderTexts); ++value) {
        // A text that cannot be had (out of memory) leaves its item out, as
        // a missing one does: a stored reminder it stood for then leaves the
        // list without a selection, which Apply leaves alone.
        CString text;
        if (text.LoadLocalizedString(kReminderTexts[value]) != S_OK) continue;
        const LRESULT index =
            ::SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.GetString()));
        if (index >= 0) ::SendMessageW(list, CB_SETITEMDATA, index, value);
    }
    ::SendMessageW(list, CB_SETCURSEL, 0, 0);

    LoadStoredValues();

    if (!IsChecked(window, IDC_LIFECYCLE_EXPIRE_CUSTOM)) {
        ::CheckRadioButton(window, kFirstChoice, kLastChoice, IDC_LIFECYCLE_EXPIRE_NONE);
    }
    m_loaded = ShownChoices();
    m_kept = m_loaded;
    return TRUE;
}

// A store that cannot be reached, a document that cannot be opened or a
// value that cannot be read leaves the controls at their defaults. Nothing
// here allocates once the document is open, so that what the controls show
// is always recorded (OnInitDialog) and a value left unread is never taken
// for the user's choice. Without the store, or without a name for the
// document in it, no choice could be kept and none is offered (OnShow leaves
// the controls alone without a store).
void CZRVPropPage_LifeCycle::LoadStoredValues() {
    const StoreDocument::Opening opening = Document.Open(selection);
    if (opening == StoreDocument::Opening::NoStore || opening == StoreDocument::Opening::NoName) {
        for (int id = kFirstChoice; id <= kLastChoice; ++id) Enable(window, id, false);
    }
    if (opening != StoreDocument::Opening::Opened) return;

    // The store's values are read from the variant's data whatever type it
    // claims: a FILETIME for the expiration, 32-bit numbers for the rest.
    {
        zrv::unique_propvariant value;
        m_expirationRead = Document.ReadValue(DOCPROP_EXPIRATION, value);
        if (m_expirationRead) {
            const FILETIME stored = value.get()->filetime;
            m_storedExpiration = stored;
            // Either half zero means no expiration.
            if (stored.dwLowDateTime != 0 && stored.dwHighDateTime != 0) {
                ShowStoredExpiration(stored);
            }
        }
    }
    {
        zrv::unique_propvariant value;
        m_reminderRead = Document.ReadValue(DOCPROP_REMINDER, value);
        if (m_reminderRead) {
            m_storedReminder = value.get()->ulVal;
            SetReminderList(value.get()->ulVal);
        }
    }
    {
        zrv::unique_propvariant value;
        m_burnRead = Document.ReadValue(DOCPROP_BURN_DISC, value);
        if (m_burnRead) {
            m_storedBurn = value.get()->ulVal;
            ::CheckDlgButton(window, IDC_LIFECYCLE_BURN_DISC,
                             value.get()->ulVal != 0 ? BST_CHECKED : BST_UNCHECKED);
        }
    }
}

// UTC as stored: the page shows and writes the same moment. The picker
// accepts some dates it cannot show and goes on showing its old one, so
// what it shows is read back rather than assumed.
void CZRVPropPage_LifeCycle::ShowStoredExpiration(const FILETIME& stored) {
    HWND picker = ::GetDlgItem(window, IDC_LIFECYCLE_CUSTOM_DATE);
    SYSTEMTIME date = {};
    const bool showable = ::FileTimeToSystemTime(&stored, &date) && PickerShows(picker, date);
    m_pickerShowsStored = true;
    m_storedDateHidden = !showable;
    if (showable) ::ShowWindow(picker, SW_SHOW);
    ::CheckRadioButton(window, kFirstChoice, kLastChoice, IDC_LIFECYCLE_EXPIRE_CUSTOM);
}

// A stored reminder that no item stands for leaves the list without a
// selection, which Apply then leaves alone.
void CZRVPropPage_LifeCycle::SetReminderList(DWORD reminder) {
    HWND list = ::GetDlgItem(window, IDC_LIFECYCLE_REMINDER);
    const LRESULT count = ::SendMessageW(list, CB_GETCOUNT, 0, 0);
    WPARAM selection = static_cast<WPARAM>(-1);
    for (LRESULT index = 0; index < count; ++index) {
        if (static_cast<DWORD>(::SendMessageW(list, CB_GETITEMDATA, index, 0)) == reminder) {
            selection = static_cast<WPARAM>(index);
            break;
        }
    }
    ::SendMessageW(list, CB_SETCURSEL, selection, 0);
}

BOOL CZRVPropPage_LifeCycle::OnDestroy() noexcept {
    Document.Close();
    return TRUE;
}

void CZRVPropPage_LifeCycle::OnShow() noexcept {
    if (!Document) return;
    // Not knowing whether the document may be changed (out of memory for its
    // name), nothing is offered for editing; Apply asks the store again.
    const bool editable = Document.Editable(DOCPROP_EXPIRATION);
    m_editingOffered = m_editingOffered || editable;
    for (int id = kFirstChoice; id <= kLastChoice; ++id) Enable(window, id, editable);
    const bool none = IsChecked(window, IDC_LIFECYCLE_EXPIRE_NONE);
    Enable(window, IDC_LIFECYCLE_CUSTOM_DATE,
           editable && IsChecked(window, IDC_LIFECYCLE_EXPIRE_CUSTOM));
    Enable(window, IDC_LIFECYCLE_REMINDER, editable && !none);
    Enable(window, IDC_LIFECYCLE_BURN_DISC, editable && !none);
}

LRESULT CZRVPropPage_LifeCycle::OnCommand(WPARAM wParam, WORD notification) noexcept {
    if (notification != BN_CLICKED && notification != EN_UPDATE) return 0;
    const int control = LOWORD(wParam);
    if (notification == BN_CLICKED && control >= kFirstChoice && control <= kLastChoice) {
        m_choiceClicked = true;
        m_chosenSinceKept = true;
    }

    HWND picker = ::GetDlgItem(window, IDC_LIFECYCLE_CUSTOM_DATE);
    const bool none = IsChecked(window, IDC_LIFECYCLE_EXPIRE_NONE);
    if (none) {
        ::ShowWindow(picker, SW_HIDE);
        ::EnableWindow(picker, FALSE);
    } else if (IsChecked(window, IDC_LIFECYCLE_EXPIRE_CUSTOM)) {
        if (!(m_pickerShowsStored && m_storedDateHidden)) ::ShowWindow(picker, SW_SHOW);
        ::EnableWindow(picker, TRUE);
    } else {
        // A "within" choice: the picker previews, read-only, the date that
        // Apply will store. One it cannot show is previewed as none rather
        // than as the date it had.
        SYSTEMTIME before = {};
        SYSTEMTIME after = {};
        DateTime_GetSystemtime(picker, &before);
        const bool previewed = PickerShows(picker, YearsFromNow(YearsAhead(window)));
        DateTime_GetSystemtime(picker, &after);
        if (previewed || std::memcmp(&before, &after, sizeof before) != 0) {
            m_pickerShowsStored = false;
        }
        ::ShowWindow(picker, previewed ? SW_SHOW : SW_HIDE);
        ::EnableWindow(picker, FALSE);
    }
    // Reminder and burning only mean something for a document that expires.
    Enable(window, IDC_LIFECYCLE_REMINDER, !none);
    Enable(window, IDC_LIFECYCLE_BURN_DISC, !none);
    return SetModified(true);
}

LRESULT CZRVPropPage_LifeCycle::OnNotify(NMHDR* header) noexcept {
    if (static_cast<int>(header->code) != static_cast<int>(DTN_DATETIMECHANGE)) return 0;
    m_pickerShowsStored = false;
    m_chosenSinceKept = true;
    return SetModified(true);
}

// An Apply that had nothing to write saves and announces nothing. When the
// store could not be asked, or a write or the save failed, the store keeps
// what it had; the user is told if a choice of theirs is lost, and the sheet
// stays open with the choices (OK would otherwise close it over them). An
// Apply that could not write back what was already stored passes quietly.
LRESULT CZRVPropPage_LifeCycle::OnApply() noexcept {
    if (!Document) return 0;
    if (!Document.BeginChange() || !Document.Editable(DOCPROP_EXPIRATION)) {
        return RefuseApplyIfChangeLost(ChoicesChanged(), IDS_LIFECYCLE_NOT_SAVED);
    }
    const int choice = CheckedChoice(window);
    if (choice == 0) return TRUE;
    // What the page knows of the store, which WriteValues advances.
    const bool expirationRead = m_expirationRead, reminderRead = m_reminderRead,
               burnRead = m_burnRead;
    const DWORD storedReminder = m_storedReminder, storedBurn = m_storedBurn;
    WriteValues(choice);
    switch (Document.FinishChange()) {
        case StoreDocument::Outcome::NothingWritten:
            return TRUE;
        case StoreDocument::Outcome::Lost:
            // Nothing of this Apply reached the store: the page knows of it
            // what it knew before.
            m_expirationRead = expirationRead;
            m_reminderRead = reminderRead;
            m_burnRead = burnRead;
            m_storedReminder = storedReminder;
            m_storedBurn = storedBurn;
            return RefuseApplyIfChangeLost(ChoicesChanged(), IDS_LIFECYCLE_NOT_SAVED);
        case StoreDocument::Outcome::Kept:
            break;
    }
    m_kept = ShownChoices();
    m_chosenSinceKept = false;
    return TRUE;
}

CZRVPropPage_LifeCycle::Choices CZRVPropPage_LifeCycle::ShownChoices() const noexcept {
    Choices shown;
    shown.choice = CheckedChoice(window);
    shown.reminder = ::SendDlgItemMessageW(window, IDC_LIFECYCLE_REMINDER, CB_GETCURSEL, 0, 0);
    shown.burn = IsChecked(window, IDC_LIFECYCLE_BURN_DISC);
    shown.dateState =
        DateTime_GetSystemtime(::GetDlgItem(window, IDC_LIFECYCLE_CUSTOM_DATE), &shown.date);
    return shown;
}

bool CZRVPropPage_LifeCycle::ChoicesChanged() const noexcept {
    if (!m_editingOffered) return false;
    const Choices shown = ShownChoices();
    return m_chosenSinceKept || shown.choice != m_kept.choice ||
           shown.reminder != m_kept.reminder || shown.burn != m_kept.burn ||
           shown.dateState != m_kept.dateState ||
           std::memcmp(&shown.date, &m_kept.date, sizeof shown.date) != 0;
}

void CZRVPropPage_LifeCycle::WriteValues(int choice) {
    // The page stays open after Apply: a value written is known from then
    // on, as if it had been read.
    auto write = [](bool ok, bool& known) { known = known || ok; };
    auto writeReminder = [&](ULONG reminder) {
        const bool ok = SetNumber(DOCPROP_REMINDER, reminder);
        write(ok, m_reminderRead);
        if (ok) m_storedReminder = reminder;
    };
    auto writeBurn = [&](ULONG burn) {
        const bool ok = SetNumber(DOCPROP_BURN_DISC, burn);
        write(ok, m_burnRead);
        if (ok) m_storedBurn = burn;
    };
    zrv::unique_propvariant expiration;
    expiration.get()->vt = VT_FILETIME;
    if (choice == IDC_LIFECYCLE_EXPIRE_NONE) {
        if (m_choiceClicked || choice != m_loaded.choice) {
            // No expiration: nothing to remind of and nothing to burn.
            write(SetValue(DOCPROP_EXPIRATION, *expiration.get()), m_expirationRead);
            writeReminder(0);
            writeBurn(0);
            return;
        }
        // "None" the user did not choose is no one's choice: it stands for
        // the values as read, among them an expiration with one half zero,
        // which shows as none. One the page could not read is not written,
        // and without the expiration neither are the others.
        if (!m_expirationRead) return;
        expiration.get()->filetime = m_storedExpiration;
        write(SetValue(DOCPROP_EXPIRATION, *expiration.get()), m_expirationRead);
        if (m_reminderRead) writeReminder(m_storedReminder);
        if (m_burnRead) writeBurn(m_storedBurn);
        return;
    }
    // Any other choice differs from the "None" an unread expiration shows,
    // so the date is the user's own.
    if (ExpirationFor(choice, expiration.get()->filetime)) {
        write(SetValue(DOCPROP_EXPIRATION, *expiration.get()), m_expirationRead);
    }
    // Without a selection the list stands for no value: keep the stored one.
    HWND list = ::GetDlgItem(window, IDC_LIFECYCLE_REMINDER);
    const LRESULT selection = ::SendMessageW(list, CB_GETCURSEL, 0, 0);
    if (selection != CB_ERR && (m_reminderRead || selection != m_loaded.reminder)) {
        const LRESULT reminder = ::SendMessageW(list, CB_GETITEMDATA, selection, 0);
        if (reminder != CB_ERR) writeReminder(static_cast<ULONG>(reminder));
    }
    // The box shows any non-zero value as checked; a stored value other than
    // 0 or 1 is kept for as long as the box shows what it showed at first.
    const bool burn = IsChecked(window, IDC_LIFECYCLE_BURN_DISC);
    const bool burnChanged = burn != m_loaded.burn;
    if ((m_burnRead || burnChanged) && (burnChanged || m_storedBurn <= 1)) {
        writeBurn(burn ? 1 : 0);
    }
}

bool CZRVPropPage_LifeCycle::ExpirationFor(int choice, FILETIME& expiration) const {
    SYSTEMTIME date;
    if (choice == IDC_LIFECYCLE_EXPIRE_CUSTOM) {
        // The picker keeps whole milliseconds and a limited range of years;
        // a stored date it still shows unchanged goes back exactly as read.
        if (m_pickerShowsStored) {
            expiration = m_storedExpiration;
            return true;
        }
        HWND picker = ::GetDlgItem(window, IDC_LIFECYCLE_CUSTOM_DATE);
        if (DateTime_GetSystemtime(picker, &date) != GDT_VALID) return false;
    } else {
        date = YearsFromNow(YearsAhead(window));
    }
    return ToFileTime(date, expiration);
}

bool CZRVPropPage_LifeCycle::SetValue(DocumentPropertyId id, PROPVARIANT& value) {
    return Document.WriteValue(id, value);
}

bool CZRVPropPage_LifeCycle::SetNumber(DocumentPropertyId id, ULONG number) {
    zrv::unique_propvariant value;
    value.get()->vt = VT_UI4;
    value.get()->ulVal = number;
    return SetValue(id, *value.get());
}

void CZRVPropPage_LifeCycle::OnHelp() noexcept { ShowPageHelp(window, L"lifecycle_opt.htm"); }
