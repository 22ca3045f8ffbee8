#include "server_module.h"

namespace zrvstore::server {

namespace {
volatile LONG g_lockCount = 0;
HINSTANCE g_instance = nullptr;
}  // namespace

void LockModule() noexcept { ::InterlockedIncrement(&g_lockCount); }
void UnlockModule() noexcept { ::InterlockedDecrement(&g_lockCount); }
LONG ModuleLockCount() noexcept { return ::InterlockedCompareExchange(&g_lockCount, 0, 0); }

HINSTANCE ModuleInstance() noexcept { return g_instance; }
void SetModuleInstance(HINSTANCE instance) noexcept { g_instance = instance; }

}  // namespace zrvstore::server
