#include "class_registration.h"

#include <objbase.h>

#include <vector>

#include "support/caught_exception.h"

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

HRESULT RegisterInprocClass(const CLSID& clsid, const wchar_t* name,
                            const std::wstring& modulePath) noexcept try {
    unique_hkey classKey;
    ZRV_RETURN_IF_FAILED(
        CreateRegistryKey(HKEY_CLASSES_ROOT, ClassKeyPath(clsid).c_str(), classKey));
    ZRV_RETURN_IF_FAILED(SetRegistryString(classKey.get(), nullptr, name));
    unique_hkey serverKey;
    ZRV_RETURN_IF_FAILED(CreateRegistryKey(classKey.get(), L"InprocServer32", serverKey));
    ZRV_RETURN_IF_FAILED(SetRegistryString(serverKey.get(), nullptr, modulePath.c_str()));
    return SetRegistryString(serverKey.get(), L"ThreadingModel", L"Apartment");
}
ZRV_CATCH_RETURN()

HRESULT DeleteClassKey(const CLSID& clsid) noexcept try {
    return DeleteRegistryTree(HKEY_CLASSES_ROOT, ClassKeyPath(clsid).c_str());
}
ZRV_CATCH_RETURN()

}  // namespace zrv
