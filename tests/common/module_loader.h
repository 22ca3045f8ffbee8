#pragma once
// Loads the built module the way a host does and reaches its four exports.

#include <windows.h>
#include <objbase.h>

#include "common/test_paths.h"

namespace zrvtest {

class LoadedModule {
  public:
    LoadedModule() : m_module(::LoadLibraryW(ModulePath().c_str())) {
        if (!m_module) return;
        getClassObject = reinterpret_cast<decltype(getClassObject)>(
            reinterpret_cast<void*>(::GetProcAddress(m_module, "DllGetClassObject")));
        canUnloadNow = reinterpret_cast<decltype(canUnloadNow)>(
            reinterpret_cast<void*>(::GetProcAddress(m_module, "DllCanUnloadNow")));
        registerServer = reinterpret_cast<decltype(registerServer)>(
            reinterpret_cast<void*>(::GetProcAddress(m_module, "DllRegisterServer")));
        unregisterServer = reinterpret_cast<decltype(unregisterServer)>(
            reinterpret_cast<void*>(::GetProcAddress(m_module, "DllUnregisterServer")));
    }
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;
    ~LoadedModule() {
        if (m_module) ::FreeLibrary(m_module);
    }

    bool ok() const {
        return m_module && getClassObject && canUnloadNow && registerServer && unregisterServer;
    }
    HMODULE handle() const { return m_module; }

    HRESULT(WINAPI* getClassObject)(REFCLSID, REFIID, void**) = nullptr;
    HRESULT(WINAPI* canUnloadNow)() = nullptr;
    HRESULT(WINAPI* registerServer)() = nullptr;
    HRESULT(WINAPI* unregisterServer)() = nullptr;

  private:
    HMODULE m_module;
};

}  // namespace zrvtest
