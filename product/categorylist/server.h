#pragma once
// What every object of the category list server shares: the image it lives
// in and the lock count that DllCanUnloadNow reports.

#include <windows.h>

namespace zrvcatlist {

HINSTANCE ServerInstance() noexcept;

void LockServer() noexcept;
void UnlockServer() noexcept;
LONG ServerLockCount() noexcept;

// Every live object holds one server lock, so that the DLL stays loaded
// while anything of it is reachable.
class ServerLock {
  public:
    ServerLock() noexcept { LockServer(); }
    ServerLock(const ServerLock&) noexcept { LockServer(); }
    ServerLock& operator=(const ServerLock&) noexcept { return *this; }
    ~ServerLock() { UnlockServer(); }
};

}  // namespace zrvcatlist
