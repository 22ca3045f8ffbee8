// The four entry points of the document store server.

#include <windows.h>

#include "components/component_ids.h"
#include "store/com/document_catalog.h"
#include "store/com/document_properties.h"
#include "store/com/registration.h"
#include "store/com/server_module.h"
#include "store/com/update_listeners.h"
#include "support/class_factory.h"
#include "support/image_pin.h"

using namespace zrvstore::server;

namespace {

// A client's reference on a class object keeps the DLL loaded.
// Both classes' objects return each other's client locks.
volatile LONG g_clientLocks = 0;
const zrv::ServerLockFunctions kModuleLock{&LockModule, &UnlockModule, &g_clientLocks};
zrv::ClassFactory g_catalogFactory(&zrv::PlainCreator<&DocumentCatalog::Create>, kModuleLock,
                                   zrv::Aggregation::Refused, zrv::ClientReferences::LockServer);
zrv::ClassFactory g_propertiesFactory(&zrv::PlainCreator<&DocumentProperties::Create>, kModuleLock,
                                      zrv::Aggregation::Refused, zrv::ClientReferences::LockServer);

const zrv::ClassEntry kClassTable[] = {
    {&CLSID_DocumentCatalog, &g_catalogFactory},
    {&CLSID_DocumentProperties, &g_propertiesFactory},
};

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    switch (reason) {
        case DLL_PROCESS_ATTACH: {
            ::DisableThreadLibraryCalls(instance);
            zrv::PinThisImage();
            SetModuleInstance(instance);
            InitializeUpdateListeners();
            return TRUE;
        }
        case DLL_PROCESS_DETACH:
            ShutDownUpdateListeners();
            return TRUE;
        default:
            return TRUE;
    }
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    return zrv::GetClassObject(kClassTable, clsid, iid, object);
}

extern "C" HRESULT WINAPI DllCanUnloadNow() { return ModuleLockCount() == 0 ? S_OK : S_FALSE; }

extern "C" HRESULT WINAPI DllRegisterServer() { return RegisterClasses(true); }

extern "C" HRESULT WINAPI DllUnregisterServer() { return RegisterClasses(false); }
