#include "server.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace zrvcatlist {
namespace {

volatile LONG g_lockCount = 0;

}  // namespace

HINSTANCE ServerInstance() noexcept { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

void LockServer() noexcept { ::InterlockedIncrement(&g_lockCount); }

void UnlockServer() noexcept { ::InterlockedDecrement(&g_lockCount); }

LONG ServerLockCount() noexcept { return ::InterlockedCompareExchange(&g_lockCount, 0, 0); }

}  // namespace zrvcatlist
