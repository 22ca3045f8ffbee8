#pragma once
// The server's lock count, which DllCanUnloadNow reports: live objects,
// class objects in use, LockServer calls and advised update listeners.

#include <windows.h>

namespace zrvstore::server {

void LockModule() noexcept;
void UnlockModule() noexcept;
LONG ModuleLockCount() noexcept;

HINSTANCE ModuleInstance() noexcept;
void SetModuleInstance(HINSTANCE instance) noexcept;

// Holds one module lock for as long as it lives.
class ModuleLock {
  public:
    ModuleLock() noexcept { LockModule(); }
    ModuleLock(const ModuleLock&) = delete;
    ModuleLock& operator=(const ModuleLock&) = delete;
    ~ModuleLock() { UnlockModule(); }
};

}  // namespace zrvstore::server
