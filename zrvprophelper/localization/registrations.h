#pragma once
// This module's own account of what it registered in the localizer map, per
// process. The map outlives processes and threads, and the system hands their
// ids out again quickly, so an entry that carries the caller's process and
// thread ids proves nothing by itself: it is used only when this account says
// that it was registered by the calling thread itself, in this process's
// lifetime. The thread's creation time tells a thread apart from an ended one
// of this process that had the same id.

#include <windows.h>

namespace zrv {

// The creation time of the calling thread; 0 when the system cannot say.
ULONGLONG CurrentThreadCreationTime() noexcept;

// Records that the calling thread (threadId, created at threadCreated) put
// localizer into slot, replacing what was recorded for that thread id before,
// and keeps the module loaded from then on (see registrations.cpp). False
// when it cannot be recorded: the entry must then not be registered, since
// nothing would vouch for it or clear it.
bool RememberLocalizerRegistration(LONG slot, DWORD threadId, ULONGLONG threadCreated,
                                   DWORD localizer) noexcept;

// Whether slot holding localizer was registered by the calling thread.
bool IsOwnRegistration(LONG slot, DWORD localizer) noexcept;

}  // namespace zrv
