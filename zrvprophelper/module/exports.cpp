// The four entry points of the server and the loader's notifications.

#include <windows.h>

#include "localization/localizer.h"
#include "module/module.h"
#include "module/object_map.h"
#include "module/registration.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            return g_module.Attach(instance) ? TRUE : FALSE;
        case DLL_THREAD_DETACH:
            ForgetLocalizerRegistrations(false);
            return TRUE;
        case DLL_PROCESS_DETACH: {
            // A non-null reserved means the process is ending, not FreeLibrary.
            const bool processEnding = reserved != nullptr;
            ForgetLocalizerRegistrations(true);
            ReleaseObjectMap(processEnding);
            g_module.Detach(processEnding);
            return TRUE;
        }
        default:
            return TRUE;
    }
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    for (ObjectMapEntry* entry = ObjectMapBegin(); entry != ObjectMapEnd(); ++entry) {
        if (*entry->clsid != clsid) continue;
        // Made on first request without a lock: a thread that the host kills
        // while it holds one would keep every later request waiting. Threads
        // that meet no class object each make one; the first published
        // stays, the others go with their owner's reference.
        PVOID volatile* slot = reinterpret_cast<PVOID volatile*>(&entry->classObject);
        auto* classObject = static_cast<zrv::ClassFactory*>(
            ::InterlockedCompareExchangePointer(slot, nullptr, nullptr));
        if (!classObject) {
            zrv::ClassFactory* made = NewModuleClassObject(entry->createObject);
            if (!made) return E_OUTOFMEMORY;
            classObject = static_cast<zrv::ClassFactory*>(
                ::InterlockedCompareExchangePointer(slot, made, nullptr));
            if (classObject) {
                made->Release();
            } else {
                classObject = made;
            }
        }
        return classObject->QueryInterface(iid, object);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" HRESULT WINAPI DllCanUnloadNow() {
    return g_module.GetLockCount() == 0 ? S_OK : S_FALSE;
}

extern "C" HRESULT WINAPI DllRegisterServer() { return RegisterServer(); }

extern "C" HRESULT WINAPI DllUnregisterServer() {
    const HRESULT hr = UnregisterServer();
    return SUCCEEDED(hr) ? S_OK : hr;
}
