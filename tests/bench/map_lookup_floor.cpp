#include "map_lookup_floor.h"

#include <windows.h>

#include "components/component_ids.h"
#include "localization/localizer_map.h"

namespace zrvbench {

namespace {

// The slot carrying the calling thread's ids, or null. The table is trusted
// only as far as the view reaches, as a lookup must.
volatile LocalizerMapEntry* FindOwnEntry(LocalizerMap* view, SIZE_T viewBytes) {
    if (viewBytes < kLocalizerMapHeaderBytes) return nullptr;
    const LONG capacity =
        static_cast<LONG>((viewBytes - kLocalizerMapHeaderBytes) / sizeof(LocalizerMapEntry));
    const LONG count = *const_cast<volatile LONG*>(&view->entryCount);
    if (count < 0 || count > capacity) return nullptr;
    const DWORD process = ::GetCurrentProcessId();
    const DWORD thread = ::GetCurrentThreadId();
    for (LONG i = 0; i < count; ++i) {
        volatile LocalizerMapEntry* entry = &view->entries[i];
        if (entry->processId == process && entry->threadId == thread) return entry;
    }
    return nullptr;
}

}  // namespace

void MapLookupFloor(bool flush, TranslateFn translate) {
    HANDLE mapping = ::OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, kLocalizerMapName);
    if (!mapping) return;
    auto* view = static_cast<LocalizerMap*>(::MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    HANDLE mutex = nullptr;
    if (view) {
        MEMORY_BASIC_INFORMATION info = {};
        const SIZE_T viewBytes =
            ::VirtualQuery(view, &info, sizeof(info)) == sizeof(info) ? info.RegionSize : 0;
        mutex = ::CreateMutexW(nullptr, FALSE, kLocalizerMutexName);
        if (volatile LocalizerMapEntry* entry = FindOwnEntry(view, viewBytes)) {
            entry->useCount = entry->useCount + 1;  // held while the text is looked up
            if (translate) {
                translate(
                    reinterpret_cast<IAppLocalizer*>(static_cast<ULONG_PTR>(entry->localizer)));
            }
            // A use that leaves the entry held goes back without the mutex:
            // only this thread touches an entry with its own ids.
            entry->useCount = entry->useCount - 1;
        }
        if (flush) ::FlushViewOfFile(view, 0);
        ::UnmapViewOfFile(view);
    }
    ::CloseHandle(mapping);
    if (mutex) ::CloseHandle(mutex);
}

}  // namespace zrvbench
