#include "server_state.h"

namespace appsvc {

namespace {

volatile LONG g_objectsCreated = 0;
volatile LONG g_objectsAlive = 0;
volatile LONG g_lookups = 0;
// Live objects plus locks: one count, so that "idle" is a single atomic fact.
volatile LONG g_activity = 0;
IdleCallback volatile g_idleCallback = nullptr;

void Release() noexcept {
    if (::InterlockedDecrement(&g_activity) == 0) {
        if (IdleCallback callback = g_idleCallback) callback();
    }
}

}  // namespace

void ObjectCreated() noexcept {
    ::InterlockedIncrement(&g_objectsCreated);
    ::InterlockedIncrement(&g_objectsAlive);
    ::InterlockedIncrement(&g_activity);
}

void ObjectDestroyed() noexcept {
    ::InterlockedDecrement(&g_objectsAlive);
    Release();
}

void LookupMade() noexcept { ::InterlockedIncrement(&g_lookups); }

ServerStats CurrentStats() noexcept {
    return {::InterlockedCompareExchange(&g_objectsCreated, 0, 0),
            ::InterlockedCompareExchange(&g_objectsAlive, 0, 0),
            ::InterlockedCompareExchange(&g_lookups, 0, 0)};
}

void LockServer() noexcept { ::InterlockedIncrement(&g_activity); }

void UnlockServer() noexcept { Release(); }

bool ServerIdle() noexcept { return ::InterlockedCompareExchange(&g_activity, 0, 0) == 0; }

void SetIdleCallback(IdleCallback callback) noexcept { g_idleCallback = callback; }

}  // namespace appsvc
