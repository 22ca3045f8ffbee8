// The four entry points of the document store server.

#include <windows.h>

#include "class_factory.h"
#include "component_ids.h"
#include "document_catalog.h"
#include "document_properties.h"
#include "registration.h"
#include "server_module.h"
#include "update_listeners.h"

using namespace zrvstore::server;

namespace {

struct ClassEntry {
    const CLSID* clsid;
    ClassFactory* factory;
};

ClassFactory g_catalogFactory(&DocumentCatalog::Create);
ClassFactory g_propertiesFactory(&DocumentProperties::Create);

const ClassEntry kClassTable[] = {
    {&CLSID_DocumentCatalog, &g_catalogFactory},
    {&CLSID_DocumentProperties, &g_propertiesFactory},
};

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            ::DisableThreadLibraryCalls(instance);
            SetModuleInstance(instance);
            InitializeUpdateListeners();
            return TRUE;
        case DLL_PROCESS_DETACH:
            ShutDownUpdateListeners();
            return TRUE;
        default:
            return TRUE;
    }
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    for (const ClassEntry& entry : kClassTable) {
        if (*entry.clsid == clsid) return entry.factory->QueryInterface(iid, object);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" HRESULT WINAPI DllCanUnloadNow() { return ModuleLockCount() == 0 ? S_OK : S_FALSE; }

extern "C" HRESULT WINAPI DllRegisterServer() { return RegisterClasses(true); }

extern "C" HRESULT WINAPI DllUnregisterServer() { return RegisterClasses(false); }
