#include "registrations.h"

#include "localizer.h"

namespace zrv {

namespace {

struct Registration {
    LONG slot;
    DWORD threadId;
    DWORD localizer;
};

// A thread registers once per thread, so a small table does; when it is full
// the oldest records are simply not remembered (their entries then stay as
// the map's creator left them to sweep).
constexpr int kMaxRegistrations = 256;
Registration g_registrations[kMaxRegistrations];
int g_count = 0;
SRWLOCK g_lock = SRWLOCK_INIT;

}  // namespace

void RememberLocalizerRegistration(LONG slot, IAppLocalizer* localizer) noexcept {
    ::AcquireSRWLockExclusive(&g_lock);
    if (g_count < kMaxRegistrations) {
        g_registrations[g_count++] = {slot, ::GetCurrentThreadId(),
                                      static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(localizer))};
    }
    ::ReleaseSRWLockExclusive(&g_lock);
}

}  // namespace zrv

namespace {

// Clears the entries of the given registrations in the map. With
// releaseServers, an entry whose only holder is the map also gives back the
// map's reference on its server object (only on the thread that made it).
// Answers, per registration, whether it is finished with (cleared, or no
// longer this module's); false for those that must stay remembered.
void ClearEntries(const zrv::Registration* forget, int forgetCount, DWORD waitMs,
                  bool releaseServers, bool* finished) noexcept;

}  // namespace

void ReleaseThreadLocalizer() noexcept {
    using namespace zrv;
    Registration forget[kMaxRegistrations];
    int forgetCount = 0;
    const DWORD thread = ::GetCurrentThreadId();
    ::AcquireSRWLockShared(&g_lock);
    for (int i = 0; i < g_count; ++i) {
        if (g_registrations[i].threadId == thread) forget[forgetCount++] = g_registrations[i];
    }
    ::ReleaseSRWLockShared(&g_lock);
    if (forgetCount == 0) return;
    bool finished[kMaxRegistrations] = {};
    ClearEntries(forget, forgetCount, kLocalizerWaitMs, true, finished);
    // Only this thread adds or removes its own records, so they are where
    // they were.
    ::AcquireSRWLockExclusive(&g_lock);
    for (int k = 0; k < forgetCount; ++k) {
        if (!finished[k]) continue;
        for (int i = 0; i < g_count; ++i) {
            if (g_registrations[i].threadId == forget[k].threadId &&
                g_registrations[i].slot == forget[k].slot &&
                g_registrations[i].localizer == forget[k].localizer) {
                g_registrations[i] = g_registrations[--g_count];
                break;
            }
        }
    }
    ::ReleaseSRWLockExclusive(&g_lock);
}

void ForgetLocalizerRegistrations(bool wholeProcess) noexcept {
    using namespace zrv;
    Registration forget[kMaxRegistrations];
    int forgetCount = 0;
    const DWORD thread = ::GetCurrentThreadId();
    ::AcquireSRWLockExclusive(&g_lock);
    for (int i = 0; i < g_count;) {
        if (wholeProcess || g_registrations[i].threadId == thread) {
            forget[forgetCount++] = g_registrations[i];
            g_registrations[i] = g_registrations[--g_count];
        } else {
            ++i;
        }
    }
    ::ReleaseSRWLockExclusive(&g_lock);
    // Called while the loader lock is held: wait briefly, never long.
    bool finished[kMaxRegistrations] = {};
    if (forgetCount > 0) ClearEntries(forget, forgetCount, 1000, false, finished);
}

namespace {

void ClearEntries(const zrv::Registration* forget, int forgetCount, DWORD waitMs,
                  bool releaseServers, bool* finished) noexcept {
    using namespace zrv;
    unique_handle mapping(::OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, kLocalizerMapName));
    if (!mapping) return;
    unique_mapview view(::MapViewOfFile(mapping.get(), FILE_MAP_ALL_ACCESS, 0, 0, 0));
    if (!view) return;
    MEMORY_BASIC_INFORMATION info = {};
    if (::VirtualQuery(view.get(), &info, sizeof(info)) != sizeof(info) ||
        info.RegionSize < kLocalizerMapHeaderBytes) {
        return;
    }
    const LONG capacity =
        static_cast<LONG>((info.RegionSize - kLocalizerMapHeaderBytes) / sizeof(LocalizerMapEntry));
    unique_handle mutex(::OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, kLocalizerMutexName));
    if (!mutex || ::WaitForSingleObject(mutex.get(), waitMs) != WAIT_OBJECT_0) return;
    auto* map = static_cast<LocalizerMap*>(view.get());
    const DWORD process = ::GetCurrentProcessId();
    IAppLocalizer* release[kMaxRegistrations];
    int releaseCount = 0;
    for (int i = 0; i < forgetCount; ++i) {
        const Registration& r = forget[i];
        if (r.slot < 0 || r.slot >= capacity) {
            finished[i] = true;
            continue;
        }
        LocalizerMapEntry& entry = map->entries[r.slot];
        if (entry.processId != process || entry.threadId != r.threadId ||
            entry.localizer != r.localizer) {
            finished[i] = true;  // the slot was freed and taken by someone else since
            continue;
        }
        // A lookup of the thread still holds the entry: leave it to that.
        if (releaseServers && entry.useCount > 1) continue;
        finished[i] = true;
        if (releaseServers) {
            release[releaseCount++] =
                reinterpret_cast<IAppLocalizer*>(static_cast<ULONG_PTR>(entry.localizer));
        }
        ZeroMemory(&entry, sizeof(entry));
        if (map->entryCount > 0 && r.slot == map->entryCount - 1 && map->entryCount <= capacity) {
            --map->entryCount;
        }
    }
    ::ReleaseMutex(mutex.get());
    for (int i = 0; i < releaseCount; ++i) release[i]->Release();
}

}  // namespace
