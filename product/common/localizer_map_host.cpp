#include "localizer_map_host.h"

#include <algorithm>
#include <utility>

#include "support/handles.h"
#include "support/mutex_lock.h"

namespace zrvproduct {

namespace {

// Whether the ids no longer name a running thread of a running process. An
// object that exists but may not be inspected counts as running: only what
// is known to be dead is cleared.
bool EntryThreadEnded(uint32_t processId, uint32_t threadId) {
    zrv::unique_handle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process) return ::GetLastError() != ERROR_ACCESS_DENIED;
    DWORD code = 0;
    if (::GetExitCodeProcess(process.get(), &code) && code != STILL_ACTIVE) return true;

    zrv::unique_handle thread(::OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, threadId));
    if (!thread) return ::GetLastError() != ERROR_ACCESS_DENIED;
    if (::GetExitCodeThread(thread.get(), &code) && code != STILL_ACTIVE) return true;
    // The thread id may have been reused by a thread of another process.
    const DWORD owner = ::GetProcessIdOfThread(thread.get());
    return owner != 0 && owner != processId;
}

bool IsFree(const volatile LocalizerMapEntry& entry) {
    return entry.processId == 0 && entry.threadId == 0;
}

void Clear(volatile LocalizerMapEntry& entry) {
    entry.processId = 0;
    entry.threadId = 0;
    entry.useCount = 0;
    entry.localizer = 0;
}

}  // namespace

LocalizerMapHost::LocalizerMapHost(DWORD sweepIntervalMs) noexcept
    : m_sweepIntervalMs(sweepIntervalMs) {
    m_mapping.reset(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                         kLocalizerMapBytes, kLocalizerMapName));
    if (!m_mapping) return;
    m_created = ::GetLastError() != ERROR_ALREADY_EXISTS;
    m_mutex.reset(::CreateMutexW(nullptr, FALSE, kLocalizerMutexName));
    m_view.reset(::MapViewOfFile(m_mapping.get(), FILE_MAP_ALL_ACCESS, 0, 0, 0));
    if (!m_view) return;

    MEMORY_BASIC_INFORMATION region = {};
    const SIZE_T mapped =
        ::VirtualQuery(m_view.get(), &region, sizeof(region)) ? region.RegionSize : 0;
    m_mappedSlots =
        mapped > kLocalizerMapEntriesOffset
            ? static_cast<uint32_t>((mapped - kLocalizerMapEntriesOffset) / kLocalizerMapEntryBytes)
            : 0;
    if (m_created) {
        // The system hands out zero-filled pages: only the header is written.
        View()->header.magic = kLocalizerMapMagic;
        View()->header.slotCapacity = kLocalizerMapSlots;
    }
    m_capacity = View()->header.magic == kLocalizerMapMagic
                     ? std::min(View()->header.slotCapacity, m_mappedSlots)
                     : m_mappedSlots;
    Sweep();
    if (m_sweepIntervalMs == 0 || !ok()) return;
    m_stopSweeping.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (m_stopSweeping)
        m_sweeper.reset(::CreateThread(nullptr, 0, SweepPeriodically, this, 0, nullptr));
}

LocalizerMapHost::~LocalizerMapHost() {
    // The sweeper reads the map: it stops before the members go.
    if (m_sweeper) {
        ::SetEvent(m_stopSweeping.get());
        ::WaitForSingleObject(m_sweeper.get(), INFINITE);
    }
}

DWORD WINAPI LocalizerMapHost::SweepPeriodically(void* host) {
    auto* self = static_cast<LocalizerMapHost*>(host);
    // A mutex that is busy now is tried again at the next round, so that
    // stopping never waits behind a lookup of another process.
    while (::WaitForSingleObject(self->m_stopSweeping.get(), self->m_sweepIntervalMs) ==
           WAIT_TIMEOUT)
        self->SweepWithin(100);
    return 0;
}

int LocalizerMapHost::Sweep() noexcept { return SweepWithin(kLocalizerMutexTimeoutMs); }

int LocalizerMapHost::SweepWithin(DWORD waitMs) noexcept {
    if (!ok()) return -1;
    // An abandoned mutex is owned now; its last holder died, which is exactly
    // what the sweep repairs.
    zrv::mutex_lock lock(m_mutex.get(), waitMs);
    if (!lock) return -1;

    auto* count = reinterpret_cast<volatile LONG*>(&View()->entryCount);
    volatile LocalizerMapEntry* entries = LocalizerMapEntries(m_view.get());
    const LONG stored = *count;
    const uint32_t used = stored <= 0 ? 0 : std::min(static_cast<uint32_t>(stored), m_mappedSlots);

    int cleared = 0;
    for (uint32_t i = 0; i < used; ++i) {
        if (IsFree(entries[i])) continue;
        if (!EntryThreadEnded(entries[i].processId, entries[i].threadId)) continue;
        Clear(entries[i]);
        ++cleared;
    }
    uint32_t top = used;
    while (top > 0 && IsFree(entries[top - 1])) --top;
    if (static_cast<LONG>(top) != stored) ::InterlockedExchange(count, static_cast<LONG>(top));
    return cleared;
}

}  // namespace zrvproduct
