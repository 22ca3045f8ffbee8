#include "settings.h"

#include <windows.h>

#include <vector>

#include "support/class_registration.h"
#include "support/handles.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace zrvappsvc {

namespace {

constexpr wchar_t kOfficeKey[] = L"Software\\Lumatrel\\Office";
constexpr size_t kMaxLanguageTag = 16;

bool IsPlainLanguageTag(const std::wstring& tag) {
    if (tag.empty() || tag.size() > kMaxLanguageTag) return false;
    for (wchar_t c : tag) {
        const bool plain = (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') ||
                           (c >= L'0' && c <= L'9') || c == L'-' || c == L'_';
        if (!plain) return false;
    }
    return true;
}

}  // namespace

std::wstring ImagePath() {
    std::wstring path;
    if (FAILED(zrv::ModuleFileName(reinterpret_cast<HINSTANCE>(&__ImageBase), path))) return {};
    return path;
}

std::wstring ImageFolder() {
    std::wstring path = ImagePath();
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

std::optional<std::wstring> EnvironmentText(const wchar_t* name) {
    std::vector<wchar_t> buffer(256);
    for (;;) {
        const DWORD n =
            ::GetEnvironmentVariableW(name, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return std::nullopt;
        if (n < buffer.size()) return std::wstring(buffer.data(), n);
        buffer.resize(n);  // n counts the terminator when the buffer was too small
    }
}

std::optional<std::wstring> OfficeSetting(const wchar_t* valueName) {
    zrv::unique_hkey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kOfficeKey, 0, KEY_QUERY_VALUE, key.put()) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    // The value may change between sizing and reading; retry until it fits.
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD type = 0;
        DWORD bytes = 0;
        if (::RegQueryValueExW(key.get(), valueName, nullptr, &type, nullptr, &bytes) !=
                ERROR_SUCCESS ||
            type != REG_SZ) {
            return std::nullopt;
        }
        std::vector<wchar_t> buffer(bytes / sizeof(wchar_t) + 1, L'\0');
        DWORD read = static_cast<DWORD>((buffer.size() - 1) * sizeof(wchar_t));
        const LSTATUS status = ::RegQueryValueExW(key.get(), valueName, nullptr, &type,
                                                  reinterpret_cast<BYTE*>(buffer.data()), &read);
        if (status == ERROR_MORE_DATA) continue;
        if (status != ERROR_SUCCESS || type != REG_SZ) return std::nullopt;
        // The stored text need not be terminated; the extra element is.
        return std::wstring(buffer.data());
    }
    return std::nullopt;
}

std::optional<std::wstring> SelectedLanguage() {
    std::optional<std::wstring> language = EnvironmentText(L"ZRV_LANGUAGE");
    if (!language) language = OfficeSetting(L"Language");
    if (!language || language->empty() || !IsPlainLanguageTag(*language)) return std::nullopt;
    return language;
}

namespace {

// Decimal milliseconds from the variable, else the setting; nothing when
// unset, not plain digits, or outside [least, most].
std::optional<unsigned> Milliseconds(const wchar_t* variable, const wchar_t* setting,
                                     unsigned least, unsigned most) {
    std::optional<std::wstring> text = EnvironmentText(variable);
    if (!text) text = OfficeSetting(setting);
    if (!text || text->empty() || text->size() > 7) return std::nullopt;
    unsigned ms = 0;
    for (wchar_t c : *text) {
        if (c < L'0' || c > L'9') return std::nullopt;
        ms = ms * 10 + static_cast<unsigned>(c - L'0');
    }
    if (ms < least || ms > most) return std::nullopt;
    return ms;
}

}  // namespace

std::optional<unsigned> LocalServerIdleMs() {
    return Milliseconds(L"ZRV_APPSERVICES_IDLE_MS", L"LocalServerIdleMs", 10, 600000);
}

std::optional<unsigned> LocalServerUnusedMs() {
    return Milliseconds(L"ZRV_APPSERVICES_UNUSED_MS", L"LocalServerUnusedMs", 100, 3600000);
}

}  // namespace zrvappsvc
