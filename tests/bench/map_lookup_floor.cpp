#include "map_lookup_floor.h"

#include <windows.h>

#include "components/component_ids.h"
#include "localization/localizer_map.h"

namespace zrvbench {

namespace {

// Whether this thread's entry is one that a floor lookup made: only those are
// given back here, never the module's registration for the same thread.
thread_local bool t_madeServer = false;

LONG Capacity(SIZE_T viewBytes) {
    if (viewBytes < kLocalizerMapHeaderBytes) return 0;
    return static_cast<LONG>((viewBytes - kLocalizerMapHeaderBytes) / sizeof(LocalizerMapEntry));
}

// The slot carrying the calling thread's ids, or -1. The table is trusted
// only as far as the view reaches, as a lookup must.
LONG FindOwnEntry(LocalizerMap* view, SIZE_T viewBytes) {
    const LONG count = *const_cast<volatile LONG*>(&view->entryCount);
    if (count < 0 || count > Capacity(viewBytes)) return -1;
    const DWORD process = ::GetCurrentProcessId();
    const DWORD thread = ::GetCurrentThreadId();
    for (LONG i = 0; i < count; ++i) {
        volatile LocalizerMapEntry* entry = &view->entries[i];
        if (entry->processId == process && entry->threadId == thread) return i;
    }
    return -1;
}

// The first lookup's registration: the lowest free slot, else a new one.
LONG RegisterServer(LocalizerMap* view, SIZE_T viewBytes, HANDLE mutex, IAppLocalizer* server) {
    if (!mutex || ::WaitForSingleObject(mutex, kLocalizerWaitMs) == WAIT_TIMEOUT) return -1;
    const LONG count = view->entryCount;
    LONG slot = -1;
    for (LONG i = 0; slot < 0 && i < count; ++i) {
        if (view->entries[i].processId == 0 && view->entries[i].threadId == 0) slot = i;
    }
    if (slot < 0 && count < Capacity(viewBytes)) {
        slot = count;
        view->entryCount = count + 1;
    }
    if (slot >= 0) {
        LocalizerMapEntry& entry = view->entries[slot];
        entry.processId = ::GetCurrentProcessId();
        entry.threadId = ::GetCurrentThreadId();
        entry.useCount = 1;  // the map's hold
        entry.localizer = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(server));
        server->AddRef();  // the map's reference
        t_madeServer = true;
    }
    ::ReleaseMutex(mutex);
    return slot;
}

// The published map, its view measured and the mutex opened, as every lookup
// opens them; closed in the order a lookup closes them.
struct OpenedMap {
    OpenedMap() {
        mapping = ::OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, kLocalizerMapName);
        if (!mapping) return;
        view = static_cast<LocalizerMap*>(::MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
        if (!view) return;
        MEMORY_BASIC_INFORMATION info = {};
        viewBytes = ::VirtualQuery(view, &info, sizeof(info)) == sizeof(info) ? info.RegionSize : 0;
        mutex = ::CreateMutexW(nullptr, FALSE, kLocalizerMutexName);
    }
    OpenedMap(const OpenedMap&) = delete;
    OpenedMap& operator=(const OpenedMap&) = delete;
    ~OpenedMap() {
        if (view) ::UnmapViewOfFile(view);
        if (mapping) ::CloseHandle(mapping);
        if (mutex) ::CloseHandle(mutex);
    }

    HANDLE mapping = nullptr;
    LocalizerMap* view = nullptr;
    SIZE_T viewBytes = 0;
    HANDLE mutex = nullptr;
};

}  // namespace

void MapLookupFloor(bool flush, TranslateFn translate, void* context, bool makeServer) {
    const OpenedMap map;
    if (!map.view) return;
    LONG slot = FindOwnEntry(map.view, map.viewBytes);
    if (slot < 0 && makeServer) {
        IAppLocalizer* server = nullptr;
        if (SUCCEEDED(::CoCreateInstance(CLSID_AppServices, nullptr, CLSCTX_INPROC_SERVER,
                                         IID_IAppLocalizer, reinterpret_cast<void**>(&server)))) {
            slot = RegisterServer(map.view, map.viewBytes, map.mutex, server);
            server->Release();
        }
    }
    if (slot >= 0) {
        volatile LocalizerMapEntry* entry = &map.view->entries[slot];
        entry->useCount = entry->useCount + 1;  // held while the text is looked up
        if (translate) {
            translate(reinterpret_cast<IAppLocalizer*>(static_cast<ULONG_PTR>(entry->localizer)),
                      context);
        }
        // A use that leaves the entry held goes back without the mutex:
        // only this thread touches an entry with its own ids.
        entry->useCount = entry->useCount - 1;
    }
    if (flush) ::FlushViewOfFile(map.view, 0);
}

void ReleaseThreadServerFloor() {
    if (!t_madeServer) return;
    t_madeServer = false;
    const OpenedMap map;
    if (!map.view || !map.mutex ||
        ::WaitForSingleObject(map.mutex, kLocalizerWaitMs) == WAIT_TIMEOUT) {
        return;
    }
    const LONG slot = FindOwnEntry(map.view, map.viewBytes);
    if (slot >= 0) {
        LocalizerMapEntry& entry = map.view->entries[slot];
        reinterpret_cast<IAppLocalizer*>(static_cast<ULONG_PTR>(entry.localizer))->Release();
        entry = LocalizerMapEntry{};
        if (slot == map.view->entryCount - 1) map.view->entryCount = slot;
    }
    ::ReleaseMutex(map.mutex);
}

}  // namespace zrvbench
