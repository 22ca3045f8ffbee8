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
    if (forgetCount == 0) return;

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
    // Called while the loader lock is held: wait briefly, never long.
    if (!mutex || ::WaitForSingleObject(mutex.get(), 1000) != WAIT_OBJECT_0) return;
    auto* map = static_cast<LocalizerMap*>(view.get());
    const DWORD process = ::GetCurrentProcessId();
    for (int i = 0; i < forgetCount; ++i) {
        const Registration& r = forget[i];
        if (r.slot < 0 || r.slot >= capacity) continue;
        LocalizerMapEntry& entry = map->entries[r.slot];
        if (entry.processId != process || entry.threadId != r.threadId ||
            entry.localizer != r.localizer) {
            continue;  // the slot was freed and taken by someone else since
        }
        ZeroMemory(&entry, sizeof(entry));
        if (map->entryCount > 0 && r.slot == map->entryCount - 1 && map->entryCount <= capacity) {
            --map->entryCount;
        }
    }
    ::ReleaseMutex(mutex.get());
}
