#include "registration.h"

#include <string>

#include "component_ids.h"
#include "server.h"
#include "support/handles.h"
#include "support/hresult.h"

namespace zrvcatlist {
namespace {

const std::wstring kClassKey = std::wstring(L"CLSID\\") + kCategoryListControlClsidText;

// Matches what IOleObject::GetMiscStatus answers, for hosts that read the
// registry before creating the control.
constexpr wchar_t kMiscStatusText[] = L"131473";

HRESULT SetStringValue(const std::wstring& subkey, const wchar_t* name, const std::wstring& value) {
    zrv::unique_hkey key;
    LSTATUS status = ::RegCreateKeyExW(HKEY_CLASSES_ROOT, subkey.c_str(), 0, nullptr, 0,
                                       KEY_SET_VALUE, nullptr, key.put(), nullptr);
    if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
    status =
        ::RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                         static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    return HRESULT_FROM_WIN32(status);
}

HRESULT ModulePath(std::wstring& path) {
    path.assign(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n =
            ::GetModuleFileNameW(ServerInstance(), &path[0], static_cast<DWORD>(path.size()));
        if (n == 0) return HRESULT_FROM_WIN32(::GetLastError());
        if (n < path.size()) {
            path.resize(n);
            return S_OK;
        }
        path.resize(path.size() * 2);
    }
}

}  // namespace

HRESULT RegisterControl() noexcept try {
    std::wstring modulePath;
    ZRV_RETURN_IF_FAILED(ModulePath(modulePath));
    ZRV_RETURN_IF_FAILED(SetStringValue(kClassKey, nullptr, L"ZRV Category List Control"));
    ZRV_RETURN_IF_FAILED(SetStringValue(kClassKey + L"\\InprocServer32", nullptr, modulePath));
    ZRV_RETURN_IF_FAILED(
        SetStringValue(kClassKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment"));
    ZRV_RETURN_IF_FAILED(SetStringValue(kClassKey + L"\\Control", nullptr, L""));
    ZRV_RETURN_IF_FAILED(SetStringValue(kClassKey + L"\\MiscStatus", nullptr, L"0"));
    ZRV_RETURN_IF_FAILED(SetStringValue(kClassKey + L"\\MiscStatus\\1", nullptr, kMiscStatusText));
    return S_OK;
}
ZRV_CATCH_RETURN()

HRESULT UnregisterControl() noexcept try {
    const LSTATUS status = ::RegDeleteTreeW(HKEY_CLASSES_ROOT, kClassKey.c_str());
    if (status == ERROR_FILE_NOT_FOUND || status == ERROR_SUCCESS) return S_OK;
    return HRESULT_FROM_WIN32(status);
}
ZRV_CATCH_RETURN()

}  // namespace zrvcatlist
