#include "registration.h"

#include <objbase.h>

#include <string>
#include <vector>

#include "component_ids.h"
#include "server_module.h"
#include "support/handles.h"

namespace zrvstore::server {

namespace {

struct ClassInfo {
    const CLSID* clsid;
    const wchar_t* description;
};

const ClassInfo kClasses[] = {
    {&CLSID_DocumentCatalog, L"Lumatrel Document Catalog"},
    {&CLSID_DocumentProperties, L"Lumatrel Document Properties"},
};

std::wstring ClassKey(const CLSID& clsid) {
    wchar_t text[40] = {};
    ::StringFromGUID2(clsid, text, ARRAYSIZE(text));
    return std::wstring(L"CLSID\\") + text;
}

HRESULT ModulePath(std::wstring& path) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(ModuleInstance(), buffer.data(),
                                                  static_cast<DWORD>(buffer.size()));
        if (length == 0) return HRESULT_FROM_WIN32(::GetLastError());
        if (length < buffer.size()) {
            path.assign(buffer.data(), length);
            return S_OK;
        }
        buffer.resize(buffer.size() * 2);
    }
}

HRESULT SetString(HKEY key, const wchar_t* name, const std::wstring& value) {
    const LONG error =
        ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                         static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    return HRESULT_FROM_WIN32(error);
}

HRESULT CreateKey(HKEY parent, const std::wstring& path, zrv::unique_hkey& key) {
    const LONG error = ::RegCreateKeyExW(parent, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                                         key.put(), nullptr);
    return HRESULT_FROM_WIN32(error);
}

HRESULT RegisterOneClass(const ClassInfo& info, const std::wstring& modulePath) {
    zrv::unique_hkey classKey;
    HRESULT hr = CreateKey(HKEY_CLASSES_ROOT, ClassKey(*info.clsid), classKey);
    if (SUCCEEDED(hr)) hr = SetString(classKey.get(), nullptr, info.description);
    zrv::unique_hkey serverKey;
    if (SUCCEEDED(hr)) hr = CreateKey(classKey.get(), L"InprocServer32", serverKey);
    if (SUCCEEDED(hr)) hr = SetString(serverKey.get(), nullptr, modulePath);
    if (SUCCEEDED(hr)) hr = SetString(serverKey.get(), L"ThreadingModel", L"Apartment");
    return hr;
}

HRESULT UnregisterOneClass(const ClassInfo& info) {
    const LONG error = ::RegDeleteTreeW(HKEY_CLASSES_ROOT, ClassKey(*info.clsid).c_str());
    return error == ERROR_FILE_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(error);
}

}  // namespace

HRESULT RegisterClasses(bool doRegister) noexcept try {
    HRESULT result = S_OK;
    if (doRegister) {
        std::wstring modulePath;
        result = ModulePath(modulePath);
        for (const ClassInfo& info : kClasses) {
            if (SUCCEEDED(result)) result = RegisterOneClass(info, modulePath);
        }
        if (SUCCEEDED(result)) return S_OK;
    }
    for (const ClassInfo& info : kClasses) {
        const HRESULT hr = UnregisterOneClass(info);
        if (!doRegister && FAILED(hr) && SUCCEEDED(result)) result = hr;
    }
    return result;
} catch (...) {
    return E_OUTOFMEMORY;
}

}  // namespace zrvstore::server
