#include "registration.h"

#include <objbase.h>

#include <string>

#include "components/component_ids.h"
#include "store/com/server_module.h"
#include "support/class_registration.h"

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

}  // namespace

HRESULT RegisterClasses(bool doRegister) noexcept try {
    HRESULT result = S_OK;
    if (doRegister) {
        std::wstring modulePath;
        result = zrv::ModuleFileName(ModuleInstance(), modulePath);
        for (const ClassInfo& info : kClasses) {
            if (SUCCEEDED(result))
                result = zrv::RegisterInprocClass(*info.clsid, info.description, modulePath);
        }
        if (SUCCEEDED(result)) return S_OK;
    }
    for (const ClassInfo& info : kClasses) {
        const HRESULT hr = zrv::DeleteClassKey(*info.clsid);
        if (!doRegister && FAILED(hr) && SUCCEEDED(result)) result = hr;
    }
    return result;
} catch (...) {
    return E_OUTOFMEMORY;
}

}  // namespace zrvstore::server
