#pragma once
// Process-wide bookkeeping of the application-services server: how many
// objects exist, how many server locks clients hold, and the counters that
// tests read. The same code runs inside the DLL and inside the local server;
// each image has its own copy.

#include <windows.h>

namespace zrvappsvc {

struct ServerStats {
    LONG objectsCreated;  // since the image was loaded
    LONG objectsAlive;
    LONG lookups;  // GetModuleString and GetDialogString calls, answered or not
};

void ObjectCreated() noexcept;
void ObjectDestroyed() noexcept;
void LookupMade() noexcept;
// Any call on an object; with creations and releases it tells when the
// objects were last used.
void CallMade() noexcept;
ServerStats CurrentStats() noexcept;

// IClassFactory::LockServer, and any reference that must keep the image
// loaded (the DLL's class object).
void LockServer() noexcept;
void UnlockServer() noexcept;

// True when no object is alive and no lock is held.
bool ServerIdle() noexcept;

// True when objects are alive, no lock is held, and for at least ms nothing
// was created, released or called.
bool ObjectsUnusedFor(DWORD ms) noexcept;

// Called (on whatever thread dropped it) each time the count of live objects
// plus locks falls to zero. The local server uses it to begin shutting down;
// the DLL sets none and answers DllCanUnloadNow from ServerIdle instead.
using IdleCallback = void (*)();
void SetIdleCallback(IdleCallback callback) noexcept;

}  // namespace zrvappsvc
