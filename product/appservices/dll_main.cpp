// Entry points of ZRVAppServices.dll, the in-process AppServices server.

#include <windows.h>

#include "appservices/app_services.h"
#include "appservices/server_registration.h"
#include "appservices/server_state.h"
#include "appservices/settings.h"
#include "components/component_ids.h"
#include "support/class_factory.h"
#include "support/image_pin.h"

namespace {

// A client's reference on the class object keeps the DLL loaded.
zrv::ClassFactory g_factory(&zrv::PlainCreator<&zrvappsvc::CAppServices::Create>,
                            {&zrvappsvc::LockServer, &zrvappsvc::UnlockServer},
                            zrv::Aggregation::Refused, zrv::ClientReferences::LockServer);
const zrv::ClassEntry kClasses[] = {{&CLSID_AppServices, &g_factory}};

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        ::DisableThreadLibraryCalls(instance);
        zrv::PinThisImage();
    }
    return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    return zrv::GetClassObject(kClasses, clsid, iid, object);
}

extern "C" HRESULT WINAPI DllCanUnloadNow() { return zrvappsvc::ServerIdle() ? S_OK : S_FALSE; }

extern "C" HRESULT WINAPI DllRegisterServer() {
    return zrvappsvc::RegisterAppServices(zrvappsvc::ServerKind::InProcess, zrvappsvc::ImagePath());
}

extern "C" HRESULT WINAPI DllUnregisterServer() {
    return zrvappsvc::UnregisterAppServices(zrvappsvc::ServerKind::InProcess);
}

// For tests in the same process: what this DLL's objects have done so far.
// Any pointer may be null.
extern "C" void __cdecl ZRVAppServicesStats(LONG* objectsCreated, LONG* objectsAlive,
                                            LONG* lookups) {
    const zrvappsvc::ServerStats stats = zrvappsvc::CurrentStats();
    if (objectsCreated) *objectsCreated = stats.objectsCreated;
    if (objectsAlive) *objectsAlive = stats.objectsAlive;
    if (lookups) *lookups = stats.lookups;
}
