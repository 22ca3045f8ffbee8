#include "size_figure.h"

#include <cwchar>

#include "localization/localizer.h"
#include "resources/resource.h"
#include "support/hresult.h"

namespace {

constexpr ULONGLONG kKilobyte = 1024;

// A 64-bit number has at most 20 digits: a wider field or a longer precision
// only pads, and a translation asking for millions of characters would make
// every figure megabytes of blanks or zeros.
constexpr int kMaxFieldNumber = 32;

// Skips a width or precision; false when it is larger than a figure needs.
bool SkipFieldNumber(const wchar_t*& p) noexcept {
    int value = 0;
    for (; *p >= L'0' && *p <= L'9'; ++p) {
        value = value * 10 + (*p - L'0');
        if (value > kMaxFieldNumber) return false;
    }
    return true;
}

}  // namespace

bool IsSizeFigureFormat(const wchar_t* format) noexcept {
    if (!format) return false;
    int conversions = 0;
    for (const wchar_t* p = format; *p; ++p) {
        if (*p != L'%') continue;
        ++p;
        if (*p == L'%') continue;
        while (*p && std::wcschr(L"-+ #0", *p)) ++p;
        if (!SkipFieldNumber(p)) return false;
        if (*p == L'.') {
            ++p;
            if (!SkipFieldNumber(p)) return false;
        }
        if (p[0] != L'I' || p[1] != L'6' || p[2] != L'4') return false;
        p += 3;
        if (!*p || !std::wcschr(L"diuxX", *p)) return false;
        ++conversions;
    }
    return conversions == 1;
}

HRESULT SizeFigureText(ULONGLONG totalBytes, CZRVLocalizer* localizer, CString& text) noexcept {
    const bool kilobytes = totalBytes >= kKilobyte;
    const UINT id = kilobytes ? IDS_SIZE_KB_FORMAT : IDS_SIZE_BYTES_FORMAT;
    CString format;
    ZRV_RETURN_IF_FAILED(format.LoadString(id));
    if (localizer) {
        CString translated = format;
        ZRV_RETURN_IF_FAILED(localizer->LocalizeString(id, translated));
        if (IsSizeFigureFormat(translated)) format = translated;
    }
    return text.Format(format.GetString(), kilobytes ? totalBytes / kKilobyte : totalBytes);
}
