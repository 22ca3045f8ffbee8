// Entry points of ZRVAppServices.dll, the in-process AppServices server.

#include <windows.h>

#include "class_factory.h"
#include "component_ids.h"
#include "server_registration.h"
#include "server_state.h"
#include "settings.h"

namespace {

appsvc::CAppServicesFactory g_factory(/*referencesLockServer=*/true);

}  // namespace

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (clsid != CLSID_AppServices) return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(iid, object);
}

extern "C" HRESULT WINAPI DllCanUnloadNow() { return appsvc::ServerIdle() ? S_OK : S_FALSE; }

extern "C" HRESULT WINAPI DllRegisterServer() {
    return appsvc::RegisterAppServices(appsvc::ServerKind::InProcess, appsvc::ImagePath());
}

extern "C" HRESULT WINAPI DllUnregisterServer() {
    return appsvc::UnregisterAppServices(appsvc::ServerKind::InProcess);
}

// For tests in the same process: what this DLL's objects have done so far.
// Any pointer may be null.
extern "C" void __cdecl ZRVAppServicesStats(LONG* objectsCreated, LONG* objectsAlive,
                                            LONG* lookups) {
    const appsvc::ServerStats stats = appsvc::CurrentStats();
    if (objectsCreated) *objectsCreated = stats.objectsCreated;
    if (objectsAlive) *objectsAlive = stats.objectsAlive;
    if (lookups) *lookups = stats.lookups;
}
