#include "item_times.h"

#include "support/handles.h"
#include "support/hresult.h"

namespace {

constexpr int kFormatBuffer = 32;
constexpr int kPartBuffer = 128;

// A locale format, or null when it cannot be read, in which case the
// locale's own default is used instead of an empty pattern.
struct LocaleFormat {
    explicit LocaleFormat(LCTYPE type) noexcept {
        if (::GetLocaleInfoW(LOCALE_USER_DEFAULT, type, text, kFormatBuffer) == 0) text[0] = L'\0';
    }
    const wchar_t* get() const noexcept { return text[0] ? text : nullptr; }
    wchar_t text[kFormatBuffer] = {};
};

class TimeFormatter {
  public:
    TimeFormatter() noexcept : m_date(LOCALE_SLONGDATE), m_time(LOCALE_STIMEFORMAT) {}

    // False when the time does not convert to a local calendar time.
    bool ToLocal(const FILETIME& universal, SYSTEMTIME& local) const noexcept {
        FILETIME localFile;
        return ::FileTimeToLocalFileTime(&universal, &localFile) &&
               ::FileTimeToSystemTime(&localFile, &local);
    }

    HRESULT Date(const SYSTEMTIME& local, CString& text) const noexcept {
        wchar_t part[kPartBuffer] = {};
        const DWORD flags = m_date.get() ? 0 : DATE_LONGDATE;
        if (::GetDateFormatW(LOCALE_USER_DEFAULT, flags, &local, m_date.get(), part, kPartBuffer) ==
            0) {
            part[0] = L'\0';
        }
        return text.SetString(part);
    }

    HRESULT DateAndTime(const SYSTEMTIME& local, CString& text) const noexcept {
        wchar_t part[kPartBuffer] = {};
        if (::GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &local, m_time.get(), part, kPartBuffer) ==
            0) {
            part[0] = L'\0';
        }
        CString both;
        ZRV_RETURN_IF_FAILED(Date(local, both));
        ZRV_RETURN_IF_FAILED(both.Append(L" "));
        ZRV_RETURN_IF_FAILED(both.Append(part));
        text = both;
        return S_OK;
    }

  private:
    LocaleFormat m_date;
    LocaleFormat m_time;
};

bool IsMidnight(const SYSTEMTIME& time) noexcept {
    return time.wHour == 0 && time.wMinute == 0 && time.wSecond == 0 && time.wMilliseconds == 0;
}

}  // namespace

HRESULT ReadItemTimes(const wchar_t* path, ItemTimes& times) noexcept {
    // Backup semantics let a folder (reached through a shortcut) be opened
    // for its times as well; files open as they would without it.
    zrv::unique_hfile item(
        ::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!item) return S_OK;

    FILETIME created, accessed, written;
    if (!::GetFileTime(item.get(), &created, &accessed, &written)) return S_OK;

    const TimeFormatter formatter;
    SYSTEMTIME local;
    if (formatter.ToLocal(created, local)) {
        ZRV_RETURN_IF_FAILED(formatter.DateAndTime(local, times.created));
    }
    if (formatter.ToLocal(written, local)) {
        ZRV_RETURN_IF_FAILED(formatter.DateAndTime(local, times.modified));
    }
    if (formatter.ToLocal(accessed, local)) {
        ZRV_RETURN_IF_FAILED(IsMidnight(local) ? formatter.Date(local, times.accessed)
                                               : formatter.DateAndTime(local, times.accessed));
    }
    return S_OK;
}
