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

// Records that the calling thread, whose id is threadId, put localizer into
// slot, replacing what was recorded for that thread id before; marks the
// calling thread; and keeps the module loaded from then on (see
// registrations.cpp). False when it cannot be recorded: the entry must then
// not be registered, since nothing would vouch for it or clear it.
bool RememberLocalizerRegistration(LONG slot, DWORD threadId, DWORD localizer) noexcept;

// Whether slot holding localizer was registered by the calling thread.
bool IsOwnRegistration(LONG slot, DWORD localizer) noexcept;

}  // namespace zrv
