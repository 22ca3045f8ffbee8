#include "registrations.h"

#include <algorithm>

#include "components/component_ids.h"
#include "localization/localizer_map.h"
#include "localization/localizer_map_view.h"
#include "support/handles.h"
#include "support/image_pin.h"
#include "support/image_thread_local.h"
#include "support/mutex_lock.h"

namespace zrv {

namespace {

struct Registration {
    LONG slot;
    DWORD threadId;
    ULONG_PTR mark;  // the registering thread's own mark: the id alone is reused
    DWORD localizer;
    ULONGLONG started;  // the registering thread's creation time
};

// One record per registering thread of this process, and a thread's record
// goes at its detach, so the table holds the threads alive now. A thread
// that the host killed (TerminateThread) gets no detach: when the table is
// full, the records of threads that are gone are dropped, and a new thread
// registers only when that made room (otherwise its lookups create their own
// server objects): dropping a live thread's record instead would leave a
// live entry that nothing vouches for, which its own thread would then take
// over.
constexpr int kMaxRegistrations = 256;
Registration g_registrations[kMaxRegistrations];
int g_count = 0;
SRWLOCK g_lock = SRWLOCK_INIT;
volatile LONG g_lastMark = 0;
// The calling thread's mark; 0 until it registers something. A new thread
// starts without one whatever id the system gives it, so a mark found there
// was put by this very thread.
ZRV_IMAGE_THREAD_LOCAL ULONG_PTR g_threadMark = 0;

ULONGLONG ToValue(const FILETIME& time) noexcept {
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// When thread was made: with its id, this names one thread for good.
ULONGLONG StartedAt(HANDLE thread) noexcept {
    FILETIME created = {}, exited = {}, kernel = {}, user = {};
    if (!::GetThreadTimes(thread, &created, &exited, &kernel, &user)) return 0;
    return ToValue(created);
}

// Whether the thread that made r has ended: no thread has its id any more,
// the one that has it has ended, or is another thread that was given the id
// since. A thread that cannot be looked at counts as alive.
bool HasEnded(const Registration& r) noexcept {
    const unique_handle thread(
        ::OpenThread(SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE, r.threadId));
    if (!thread) return ::GetLastError() == ERROR_INVALID_PARAMETER;
    if (::WaitForSingleObject(thread.get(), 0) == WAIT_OBJECT_0) return true;
    const ULONGLONG started = StartedAt(thread.get());
    return started != 0 && r.started != 0 && started != r.started;
}

// The entry of the record, while it still is what the record says.
volatile LocalizerMapEntry* RecordedEntry(const LocalizerMapView& opened,
                                          const Registration& r) noexcept {
    if (r.slot < 0 || r.slot >= opened.capacity()) return nullptr;
    volatile LocalizerMapEntry* entry = &opened.map()->entries[r.slot];
    if (entry->processId != ::GetCurrentProcessId() || entry->threadId != r.threadId ||
        entry->localizer != r.localizer) {
        return nullptr;
    }
    return entry;
}

ULONG_PTR& ThreadMark() noexcept { return ThisThread(g_threadMark); }

// Takes the records of the calling thread (or all) out of the table.
int TakeRecords(bool wholeProcess, Registration* taken) noexcept {
    int count = 0;
    const DWORD thread = ::GetCurrentThreadId();
    if (wholeProcess) {
        // Only at the process's end (once an entry exists, the module is never
        // unloaded before): its other threads were stopped wherever they
        // stood, perhaps holding the lock, and waiting would keep the process
        // from ending. What is left in the map then is the sweep's.
        if (!::TryAcquireSRWLockExclusive(&g_lock)) return 0;
    } else {
        ::AcquireSRWLockExclusive(&g_lock);
    }
    for (int i = 0; i < g_count;) {
        if (wholeProcess || g_registrations[i].threadId == thread) {
            taken[count++] = g_registrations[i];
            g_registrations[i] = g_registrations[--g_count];
        } else {
            ++i;
        }
    }
    // At the process's end the lock stays taken: nothing runs here after it,
    // and releasing it wakes its waiters through the system's wait table,
    // which a thread stopped inside its own release may have left locked for
    // good (Wine spins on it forever).
    if (!wholeProcess) ::ReleaseSRWLockExclusive(&g_lock);
    return count;
}

// Takes out of the table the records of threads that ended without their
// detach, other than those under threadId (the caller's, which it replaces
// itself). Whether a thread lives is asked of the system with the lock let
// go: a thread that the host kills while it holds the lock would stall every
// later registration, so the lock is never held across a system call.
int TakeEndedRecords(DWORD threadId, Registration* taken) noexcept {
    Registration seen[kMaxRegistrations];
    ::AcquireSRWLockShared(&g_lock);
    const int seenCount = g_count;
    std::copy_n(g_registrations, seenCount, seen);
    ::ReleaseSRWLockShared(&g_lock);
    int endedCount = 0;
    for (int i = 0; i < seenCount; ++i) {
        if (seen[i].threadId != threadId && HasEnded(seen[i])) seen[endedCount++] = seen[i];
    }
    int count = 0;
    ::AcquireSRWLockExclusive(&g_lock);
    for (int i = 0; i < g_count;) {
        const Registration& r = g_registrations[i];
        const bool ended = std::any_of(seen, seen + endedCount, [&](const Registration& e) {
            return e.threadId == r.threadId && e.mark == r.mark;
        });
        if (ended) {
            taken[count++] = r;
            g_registrations[i] = g_registrations[--g_count];
        } else {
            ++i;
        }
    }
    ::ReleaseSRWLockExclusive(&g_lock);
    return count;
}

// Clears the entries of records whose threads have ended or are ending,
// where they are still what the records say, without the mutex. Their server
// objects died with (or are lost with) their apartments: nothing is called
// on them.
void ClearEntries(const Registration* records, int count) noexcept {
    if (count == 0) return;
    LocalizerMapView opened;
    for (int i = 0; i < count; ++i) {
        if (volatile LocalizerMapEntry* entry = RecordedEntry(opened, records[i])) {
            LocalizerMapView::ClearEntry(*entry);
        }
    }
}

}  // namespace

bool RememberLocalizerRegistration(LONG slot, DWORD threadId, DWORD localizer,
                                   ReplacedRegistration* replaced) noexcept {
    // Once an entry exists, this module stays loaded until the process ends.
    // Its thread-detach clean-up is what takes a thread's entry out of the
    // map, and its record is what tells a live entry from one left by an
    // ended thread; unloading would lose both while the threads and their
    // server objects live on. Entries exist only after a page was made, which
    // pinned the module already.
    if (localizer == 0 || !PinThisImage()) return false;
    const ULONG_PTR previousMark = ThreadMark();
    const ULONG_PTR mark = static_cast<ULONG>(::InterlockedIncrement(&g_lastMark));
    if (mark == 0) return false;
    ThreadMark() = mark;
    const ULONGLONG started = StartedAt(::GetCurrentThread());
    bool recorded = false;
    Registration ended[kMaxRegistrations];
    int endedCount = 0;
    ::AcquireSRWLockShared(&g_lock);
    const bool full = g_count == kMaxRegistrations;
    ::ReleaseSRWLockShared(&g_lock);
    if (full) endedCount = TakeEndedRecords(threadId, ended);
    ::AcquireSRWLockExclusive(&g_lock);
    int at = 0;
    while (at < g_count && g_registrations[at].threadId != threadId) ++at;
    if (at < kMaxRegistrations) {
        const Registration& before = g_registrations[at];
        if (replaced && at < g_count && previousMark != 0 && before.mark == previousMark &&
            before.localizer != localizer) {
            *replaced = {before.slot, before.localizer};
        }
        g_registrations[at] = {slot, threadId, mark, localizer, started};
        if (at == g_count) ++g_count;
        recorded = true;
    }
    ::ReleaseSRWLockExclusive(&g_lock);
    ClearEntries(ended, endedCount);
    return recorded;
}

bool IsOwnRegistration(LONG slot, DWORD localizer) noexcept {
    if (localizer == 0) return false;
    const DWORD thread = ::GetCurrentThreadId();
    ULONG_PTR mark = 0;
    ::AcquireSRWLockShared(&g_lock);
    for (int i = 0; i < g_count; ++i) {
        const Registration& r = g_registrations[i];
        if (r.threadId == thread && r.slot == slot && r.localizer == localizer) {
            mark = r.mark;
            break;
        }
    }
    ::ReleaseSRWLockShared(&g_lock);
    return mark != 0 && mark == ThreadMark();
}

}  // namespace zrv

void ReleaseThreadLocalizer() noexcept {
    using namespace zrv;
    Registration own[kMaxRegistrations];
    const int ownCount = TakeRecords(false, own);
    if (ownCount == 0) return;
    // A record under this thread's id that this thread did not make is an
    // ended thread's, whose server object died with its apartment: its entry
    // goes, but nothing is called on it.
    const ULONG_PTR mark = ThreadMark();
    int kept = 0;
    IAppLocalizer* release[kMaxRegistrations];
    int releaseCount = 0;
    {
        LocalizerMapView opened;
        unique_handle mutex(
            ::OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, kLocalizerMutexName));
        mutex_lock lock(opened.capacity() > 0 ? mutex.get() : nullptr, kLocalizerWaitMs);
        for (int i = 0; i < ownCount; ++i) {
            if (!lock) {
                own[kept++] = own[i];  // nothing could be cleared: try again later
                continue;
            }
            volatile LocalizerMapEntry* entry = RecordedEntry(opened, own[i]);
            if (!entry) continue;  // the slot went to someone else since
            // A lookup of the thread still holds the entry: leave it to that.
            if (entry->useCount > 1) {
                own[kept++] = own[i];
                continue;
            }
            if (own[i].mark == mark) {
                release[releaseCount++] =
                    reinterpret_cast<IAppLocalizer*>(static_cast<ULONG_PTR>(entry->localizer));
            }
            opened.FreeEntry(own[i].slot);
        }
    }
    for (int i = 0; i < releaseCount; ++i) release[i]->Release();
    // Only this thread adds records for itself, so what it took out fits back.
    ::AcquireSRWLockExclusive(&g_lock);
    for (int i = 0; i < kept && g_count < kMaxRegistrations; ++i)
        g_registrations[g_count++] = own[i];
    ::ReleaseSRWLockExclusive(&g_lock);
}

void ForgetLocalizerRegistrations(bool wholeProcess) noexcept {
    using namespace zrv;
    Registration taken[kMaxRegistrations];
    // Runs under the loader lock: no wait on anything another process holds,
    // and no call into COM (the server objects' apartments are gone or going).
    ClearEntries(taken, TakeRecords(wholeProcess, taken));
}
