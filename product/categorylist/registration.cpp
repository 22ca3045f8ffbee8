#include "registration.h"

#include <string>

#include "categorylist/server.h"
#include "components/component_ids.h"
#include "support/caught_exception.h"
#include "support/class_registration.h"
#include "support/handles.h"

namespace zrvcatlist {
namespace {

const std::wstring kClassKey = std::wstring(L"CLSID\\") + kCategoryListControlClsidText;

// Matches what IOleObject::GetMiscStatus answers, for hosts that read the
// registry before creating the control.
constexpr wchar_t kMiscStatusText[] = L"131473";

HRESULT SetStringValue(const std::wstring& subkey, const wchar_t* name, const std::wstring& value) {
    zrv::unique_hkey key;
    ZRV_RETURN_IF_FAILED(zrv::CreateRegistryKey(HKEY_CLASSES_ROOT, subkey.c_str(), key));
    return zrv::SetRegistryString(key.get(), name, value.c_str());
}

}  // namespace

HRESULT RegisterControl() noexcept try {
    std::wstring modulePath;
    ZRV_RETURN_IF_FAILED(zrv::ModuleFileName(ServerInstance(), modulePath));
    ZRV_RETURN_IF_FAILED(zrv::RegisterInprocClass(CLSID_CategoryListControl,
                                                  L"ZRV Category List Control", modulePath));
    ZRV_RETURN_IF_FAILED(SetStringValue(kClassKey + L"\\Control", nullptr, L""));
    ZRV_RETURN_IF_FAILED(SetStringValue(kClassKey + L"\\MiscStatus", nullptr, L"0"));
    ZRV_RETURN_IF_FAILED(SetStringValue(kClassKey + L"\\MiscStatus\\1", nullptr, kMiscStatusText));
    return S_OK;
}
ZRV_CATCH_RETURN()

HRESULT UnregisterControl() noexcept { return zrv::DeleteClassKey(CLSID_CategoryListControl); }

}  // namespace zrvcatlist
