#include "size_figure.h"

#include <cwchar>

#include "localization/localizer.h"
#include "resources/resource.h"

namespace {

constexpr ULONGLONG kKilobyte = 1024;

void SkipDigits(const wchar_t*& p) noexcept {
    while (*p >= L'0' && *p <= L'9') ++p;
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
        SkipDigits(p);
        if (*p == L'.') {
            ++p;
            SkipDigits(p);
        }
        if (p[0] != L'I' || p[1] != L'6' || p[2] != L'4') return false;
        p += 3;
        if (!*p || !std::wcschr(L"diuxX", *p)) return false;
        ++conversions;
    }
    return conversions == 1;
}

CString SizeFigureText(ULONGLONG totalBytes, CZRVLocalizer* localizer) {
    const bool kilobytes = totalBytes >= kKilobyte;
    const UINT id = kilobytes ? IDS_SIZE_KB_FORMAT : IDS_SIZE_BYTES_FORMAT;
    CString format;
    format.LoadString(id);
    if (localizer) {
        CString translated = format;
        if (localizer->LocalizeString(id, translated) && IsSizeFigureFormat(translated)) {
            format = translated;
        }
    }
    CString text;
    text.Format(format.GetString(), kilobytes ? totalBytes / kKilobyte : totalBytes);
    return text;
}
