#include "class_registration.h"

#include <objbase.h>

#include <vector>

#include "support/hresult.h"

namespace zrv {

HRESULT ModuleFileName(HINSTANCE instance, std::wstring& path) noexcept try {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n =
            ::GetModuleFileNameW(instance, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return HRESULT_FROM_WIN32(::GetLastError());
        if (n < buffer.size()) {
            path.assign(buffer.data(), n);
            return S_OK;
        }
        buffer.resize(buffer.size() * 2);
    }
}
ZRV_CATCH_RETURN()

std::wstring ClassKeyPath(const CLSID& clsid) {
    wchar_t text[40] = {};
    ::StringFromGUID2(clsid, text, ARRAYSIZE(text));
    return std::wstring(L"CLSID\\") + text;
}

HRESULT CreateRegistryKey(HKEY parent, const std::wstring& path, unique_hkey& key) noexcept {
    return HRESULT_FROM_WIN32(::RegCreateKeyExW(parent, path.c_str(), 0, nullptr, 0,
                                                KEY_READ | KEY_WRITE, nullptr, key.put(), nullptr));
}

HRESULT SetRegistryString(HKEY key, const wchar_t* name, const std::wstring& value) noexcept {
    return HRESULT_FROM_WIN32(
        ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                         static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))));
}

HRESULT DeleteRegistryTree(HKEY parent, const std::wstring& path) noexcept {
    const LSTATUS status = ::RegDeleteTreeW(parent, path.c_str());
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND ? S_OK
                                                                     : HRESULT_FROM_WIN32(status);
}

HRESULT RegisterInprocClass(const CLSID& clsid, const wchar_t* name,
                            const std::wstring& modulePath) noexcept try {
    unique_hkey classKey;
    ZRV_RETURN_IF_FAILED(CreateRegistryKey(HKEY_CLASSES_ROOT, ClassKeyPath(clsid), classKey));
    ZRV_RETURN_IF_FAILED(SetRegistryString(classKey.get(), nullptr, name));
    unique_hkey serverKey;
    ZRV_RETURN_IF_FAILED(CreateRegistryKey(classKey.get(), L"InprocServer32", serverKey));
    ZRV_RETURN_IF_FAILED(SetRegistryString(serverKey.get(), nullptr, modulePath));
    return SetRegistryString(serverKey.get(), L"ThreadingModel", L"Apartment");
}
ZRV_CATCH_RETURN()

HRESULT DeleteClassKey(const CLSID& clsid) noexcept try {
    return DeleteRegistryTree(HKEY_CLASSES_ROOT, ClassKeyPath(clsid));
}
ZRV_CATCH_RETURN()

}  // namespace zrv
