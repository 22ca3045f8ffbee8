#include "registry_keys.h"

#include <cwchar>

namespace zrv {

HRESULT CreateRegistryKey(HKEY parent, const wchar_t* path, unique_hkey& key) noexcept {
    return HRESULT_FROM_WIN32(::RegCreateKeyExW(parent, path, 0, nullptr, 0, KEY_READ | KEY_WRITE,
                                                nullptr, key.put(), nullptr));
}

HRESULT SetRegistryString(HKEY key, const wchar_t* name, const wchar_t* value) noexcept {
    const size_t bytes = (std::wcslen(value) + 1) * sizeof(wchar_t);
    if (bytes > MAXDWORD) return E_INVALIDARG;
    return HRESULT_FROM_WIN32(::RegSetValueExW(
        key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), static_cast<DWORD>(bytes)));
}

HRESULT DeleteRegistryTree(HKEY parent, const wchar_t* path) noexcept {
    const LSTATUS status = ::RegDeleteTreeW(parent, path);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND ? S_OK
                                                                     : HRESULT_FROM_WIN32(status);
}

}  // namespace zrv
