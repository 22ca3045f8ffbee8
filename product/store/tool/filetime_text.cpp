#include "filetime_text.h"

namespace zrvstore::tool {

namespace {

// Reads exactly `digits` decimal digits at `pos`.
bool Digits(const std::wstring& text, size_t pos, size_t digits, WORD& value) {
    if (pos + digits > text.size()) return false;
    value = 0;
    for (size_t i = pos; i < pos + digits; ++i) {
        if (text[i] < L'0' || text[i] > L'9') return false;
        value = static_cast<WORD>(value * 10 + (text[i] - L'0'));
    }
    return true;
}

bool IsLeapYear(WORD year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

// SystemTimeToFileTime does not refuse every impossible date everywhere
// (Wine rolls 2023-02-29 over to 1 March), so the fields are checked here.
bool IsCalendarTime(const SYSTEMTIME& st) {
    static const WORD kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (st.wYear < 1601 || st.wMonth < 1 || st.wMonth > 12 || st.wDay < 1) return false;
    const WORD days = kDays[st.wMonth - 1] + (st.wMonth == 2 && IsLeapYear(st.wYear) ? 1 : 0);
    return st.wDay <= days && st.wHour < 24 && st.wMinute < 60 && st.wSecond < 60;
}

}  // namespace

std::wstring FormatExpiration(ULONGLONG value) {
    if (value == 0) return L"none 0";
    FILETIME ft = {static_cast<DWORD>(value), static_cast<DWORD>(value >> 32)};
    SYSTEMTIME st = {};
    if (!::FileTimeToSystemTime(&ft, &st)) return L"invalid " + std::to_wstring(value);
    wchar_t text[32] = {};
    ::wsprintfW(text, L"%04u-%02u-%02u %02u:%02u:%02u", st.wYear, st.wMonth, st.wDay, st.wHour,
                st.wMinute, st.wSecond);
    return std::wstring(text) + L" " + std::to_wstring(value);
}

bool ParseUnsigned(const std::wstring& text, ULONGLONG limit, ULONGLONG& value) {
    if (text.empty() || text.size() > 20) return false;
    ULONGLONG result = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return false;
        const ULONGLONG digit = static_cast<ULONGLONG>(c - L'0');
        if (result > (limit - digit) / 10) return false;
        result = result * 10 + digit;
    }
    value = result;
    return true;
}

bool ParseExpiration(const std::wstring& text, ULONGLONG& value) {
    if (text.find(L'-') == std::wstring::npos) return ParseUnsigned(text, ~0ull, value);
    SYSTEMTIME st = {};
    if (text.size() != 10 && text.size() != 19) return false;
    if (!Digits(text, 0, 4, st.wYear) || text[4] != L'-' || !Digits(text, 5, 2, st.wMonth) ||
        text[7] != L'-' || !Digits(text, 8, 2, st.wDay))
        return false;
    if (text.size() == 19 &&
        (text[10] != L' ' || !Digits(text, 11, 2, st.wHour) || text[13] != L':' ||
         !Digits(text, 14, 2, st.wMinute) || text[16] != L':' || !Digits(text, 17, 2, st.wSecond)))
        return false;
    FILETIME ft = {};
    if (!IsCalendarTime(st) || !::SystemTimeToFileTime(&st, &ft)) return false;
    value = (ULONGLONG{ft.dwHighDateTime} << 32) | ft.dwLowDateTime;
    return true;
}

}  // namespace zrvstore::tool
