// The server's entry points.

#include <windows.h>

#include "categorylist/category_list_control.h"
#include "categorylist/list_window.h"
#include "categorylist/registration.h"
#include "categorylist/server.h"
#include "components/component_ids.h"
#include "support/class_factory.h"
#include "support/image_pin.h"

namespace {

// Only LockServer keeps the DLL loaded on the class object's behalf, as
// control hosts expect: they hold class objects without meaning to.
zrv::ClassFactory g_controlFactory(&zrvcatlist::CCategoryListControl::CreateInstance,
                                   {&zrvcatlist::LockServer, &zrvcatlist::UnlockServer},
                                   zrv::Aggregation::Refused, zrv::ClientReferences::LockNothing);
const zrv::ClassEntry kClasses[] = {{&CLSID_CategoryListControl, &g_controlFactory}};

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        ::DisableThreadLibraryCalls(instance);
        zrv::PinThisImage();
    }
    // At process exit (reserved non-null) the window system may be gone.
    if (reason == DLL_PROCESS_DETACH && !reserved) {
        zrvcatlist::CategoryListWindow::UnregisterWindowClass();
    }
    return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    return zrv::GetClassObject(kClasses, clsid, iid, object);
}

extern "C" HRESULT WINAPI DllCanUnloadNow() {
    return zrvcatlist::ServerLockCount() == 0 ? S_OK : S_FALSE;
}

extern "C" HRESULT WINAPI DllRegisterServer() { return zrvcatlist::RegisterControl(); }

extern "C" HRESULT WINAPI DllUnregisterServer() { return zrvcatlist::UnregisterControl(); }
