#pragma once
// The shared localizer map, as the product's main application provides it:
// a named block of shared memory in which each thread of each product
// process records the IAppLocalizer it created, and the mutex that guards
// claiming and releasing its slots. The modules only open the two objects;
// they exist while a LocalizerMapHost lives (or another process holds them).
//
// Layout (little-endian):
//   0   48 bytes  header, owned by the creator; the modules never read it:
//                   0 uint32 magic kLocalizerMapMagic, 4 uint32 slot capacity,
//                   the rest zero
//   48  int32     entryCount: slots in use, counting free slots below the
//                   highest used one
//   52  16 bytes per slot: uint32 processId, uint32 threadId, int32 useCount,
//                   uint32 localizer pointer (valid only in that process
//                   and thread); a slot with processId and threadId 0 is free

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "support/handles.h"

namespace zrvproduct {

constexpr wchar_t kLocalizerMapName[] = L"__Kestrova_Localizer_Map__";
constexpr wchar_t kLocalizerMutexName[] = L"__#$$ZRV_Localizer_Mutex$$#__";

// One slot per thread that localizes texts, in all product processes
// together; 1024 is far beyond what a desktop session runs, at 16 KiB.
constexpr uint32_t kLocalizerMapSlots = 1024;
constexpr uint32_t kLocalizerMapHeaderBytes = 48;
constexpr uint32_t kLocalizerMapEntriesOffset = 52;
constexpr uint32_t kLocalizerMapEntryBytes = 16;
constexpr uint32_t kLocalizerMapBytes =
    kLocalizerMapEntriesOffset + kLocalizerMapEntryBytes * kLocalizerMapSlots;
constexpr uint32_t kLocalizerMapMagic = 0x4D4C525A;  // "ZRLM"
constexpr DWORD kLocalizerMutexTimeoutMs = 10000;
// How often a host sweeps while it lives. Ids are given out again quickly, so
// a process that dies mid-session must not leave its entries for long.
constexpr DWORD kLocalizerMapSweepIntervalMs = 1500;

struct LocalizerMapEntry {
    uint32_t processId;
    uint32_t threadId;
    int32_t useCount;
    uint32_t localizer;
};

struct LocalizerMapHeader {
    uint32_t magic;
    uint32_t slotCapacity;
    uint8_t reserved[kLocalizerMapHeaderBytes - 8];
};

// The fixed part; the slots follow it.
struct LocalizerMapLayout {
    LocalizerMapHeader header;
    int32_t entryCount;
};

static_assert(sizeof(LocalizerMapEntry) == kLocalizerMapEntryBytes, "entry layout");
static_assert(offsetof(LocalizerMapLayout, entryCount) == kLocalizerMapHeaderBytes,
              "entryCount offset");
static_assert(sizeof(LocalizerMapLayout) == kLocalizerMapEntriesOffset, "entries offset");

// The slot table of a mapped view.
inline volatile LocalizerMapEntry* LocalizerMapEntries(void* view) noexcept {
    return reinterpret_cast<volatile LocalizerMapEntry*>(static_cast<BYTE*>(view) +
                                                         kLocalizerMapEntriesOffset);
}

class LocalizerMapHost {
  public:
    // Creates the map (zero-filled, header written) and the mutex, then
    // sweeps, and sweeps again every sweepIntervalMs on a thread of its own
    // until it is destroyed (0: only at start). When another process already
    // created them, they are shared and kept alive as they are; the capacity
    // is then taken from that creator's header and the mapping's size.
    explicit LocalizerMapHost(DWORD sweepIntervalMs = kLocalizerMapSweepIntervalMs) noexcept;
    ~LocalizerMapHost();
    LocalizerMapHost(const LocalizerMapHost&) = delete;
    LocalizerMapHost& operator=(const LocalizerMapHost&) = delete;

    // Both objects exist and the map is mapped.
    bool ok() const noexcept { return m_view && m_mutex; }
    // Whether this object created the map, rather than joining another's.
    bool created() const noexcept { return m_created; }
    uint32_t capacity() const noexcept { return m_capacity; }

    // Clears, under the mutex, the entries whose thread has ended (or whose
    // process has), so that no later thread that is given the same ids is
    // handed a pointer from a dead apartment; then drops free slots from the
    // top of the table. Returns the number of entries cleared, or -1 when the
    // map is not available or the mutex was not acquired in time.
    int Sweep() noexcept;

  private:
    int SweepWithin(DWORD waitMs) noexcept;
    static DWORD WINAPI SweepPeriodically(void* host);
    LocalizerMapLayout* View() const noexcept {
        return static_cast<LocalizerMapLayout*>(m_view.get());
    }

    zrv::unique_handle m_mapping;
    zrv::unique_handle m_mutex;
    zrv::unique_mapview m_view;
    uint32_t m_capacity = 0;
    // Slots that fit in the mapped pages. The modules append without knowing
    // the capacity, so the sweep looks as far as memory goes.
    uint32_t m_mappedSlots = 0;
    bool m_created = false;
    DWORD m_sweepIntervalMs = 0;
    zrv::unique_handle m_stopSweeping;
    zrv::unique_handle m_sweeper;
};

}  // namespace zrvproduct
