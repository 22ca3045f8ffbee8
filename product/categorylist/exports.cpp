// The server's entry points.

#include <windows.h>

#include "category_list_control.h"
#include "class_factory.h"
#include "component_ids.h"
#include "list_window.h"
#include "registration.h"
#include "server.h"

namespace {

zrvcatlist::CClassFactory g_controlFactory(&zrvcatlist::CCategoryListControl::CreateInstance);

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) ::DisableThreadLibraryCalls(instance);
    // At process exit (reserved non-null) the window system may be gone.
    if (reason == DLL_PROCESS_DETACH && !reserved) {
        zrvcatlist::CategoryListWindow::UnregisterWindowClass();
    }
    return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (clsid != CLSID_CategoryListControl) return CLASS_E_CLASSNOTAVAILABLE;
    return g_controlFactory.QueryInterface(iid, object);
}

extern "C" HRESULT WINAPI DllCanUnloadNow() {
    return zrvcatlist::ServerLockCount() == 0 ? S_OK : S_FALSE;
}

extern "C" HRESULT WINAPI DllRegisterServer() { return zrvcatlist::RegisterControl(); }

extern "C" HRESULT WINAPI DllUnregisterServer() { return zrvcatlist::UnregisterControl(); }
