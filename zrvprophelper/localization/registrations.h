#pragma once
// This module's own account of what it registered in the localizer map, per
// process. The map outlives processes and threads, and the system hands their
// ids out again quickly, so an entry that carries the caller's process and
// thread ids proves nothing by itself: it is used only when this account says
// that it was registered by the calling thread itself, in this process's
// lifetime. A mark in the registering thread's own thread-local storage tells
// it apart from an ended thread of this process that had the same id.

#include <windows.h>

namespace zrv {

// A registration that a newer one of the same thread took the place of.
struct ReplacedRegistration {
    LONG slot = -1;
    DWORD localizer = 0;  // 0: nothing of this thread's own was replaced
};

// Records that the calling thread, whose id is threadId, put localizer into
// slot, replacing what was recorded for that thread id before; marks the
// calling thread; and keeps the module loaded from then on (see
// registrations.cpp). False when it cannot be recorded: the entry must then
// not be registered, since nothing would vouch for it or clear it. When the
// record replaced was made by the calling thread itself, *replaced tells it:
// the map's reference on that server object is then the caller's to give back.
bool RememberLocalizerRegistration(LONG slot, DWORD threadId, DWORD localizer,
                                   ReplacedRegistration* replaced = nullptr) noexcept;

// Whether slot holding localizer was registered by the calling thread.
bool IsOwnRegistration(LONG slot, DWORD localizer) noexcept;

}  // namespace zrv

// Clears the entries this module registered for the calling thread (thread
// detach) or for every thread of the process (process end), without waiting
// for the map's mutex and without calling into COM: it runs under the loader
// lock. The map's references on the server objects are not given back.
void ForgetLocalizerRegistrations(bool wholeProcess) noexcept;

// For a thread that is about to leave its apartment (the module's own
// workers, and every thread through apartment_end.h): clears
// the thread's entry that this module registered and gives back the map's
// reference on its server object, which would otherwise outlive the thread.
// Only when no lookup of the thread is alive. Call before CoUninitialize.
void ReleaseThreadLocalizer() noexcept;
