#include "server_state.h"

namespace zrvappsvc {

namespace {

volatile LONG g_objectsCreated = 0;
volatile LONG g_objectsAlive = 0;
volatile LONG g_lookups = 0;
// Live objects plus locks: one count, so that "idle" is a single atomic fact.
volatile LONG g_activity = 0;
volatile LONG g_locks = 0;
volatile LONG g_lastUse = 0;  // tick count of the latest use
IdleCallback volatile g_idleCallback = nullptr;

void NoteUse() noexcept { ::InterlockedExchange(&g_lastUse, static_cast<LONG>(::GetTickCount())); }

void Release() noexcept {
    if (::InterlockedDecrement(&g_activity) == 0) {
        if (IdleCallback callback = g_idleCallback) callback();
    }
}

}  // namespace

void ObjectCreated() noexcept {
    NoteUse();
    ::InterlockedIncrement(&g_objectsCreated);
    ::InterlockedIncrement(&g_objectsAlive);
    ::InterlockedIncrement(&g_activity);
}

void ObjectDestroyed() noexcept {
    NoteUse();
    ::InterlockedDecrement(&g_objectsAlive);
    Release();
}

void LookupMade() noexcept { ::InterlockedIncrement(&g_lookups); }

void CallMade() noexcept { NoteUse(); }

ServerStats CurrentStats() noexcept {
    return {::InterlockedCompareExchange(&g_objectsCreated, 0, 0),
            ::InterlockedCompareExchange(&g_objectsAlive, 0, 0),
            ::InterlockedCompareExchange(&g_lookups, 0, 0)};
}

void LockServer() noexcept {
    ::InterlockedIncrement(&g_locks);
    ::InterlockedIncrement(&g_activity);
}

void UnlockServer() noexcept {
    ::InterlockedDecrement(&g_locks);
    Release();
}

bool ServerIdle() noexcept { return ::InterlockedCompareExchange(&g_activity, 0, 0) == 0; }

bool ObjectsUnusedFor(DWORD ms) noexcept {
    if (::InterlockedCompareExchange(&g_locks, 0, 0) != 0) return false;
    if (::InterlockedCompareExchange(&g_objectsAlive, 0, 0) == 0) return false;
    const DWORD last = static_cast<DWORD>(::InterlockedCompareExchange(&g_lastUse, 0, 0));
    return ::GetTickCount() - last >= ms;
}

void SetIdleCallback(IdleCallback callback) noexcept { g_idleCallback = callback; }

}  // namespace zrvappsvc
