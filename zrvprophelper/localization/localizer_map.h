#pragma once
// The layout of the localizer map that the product's main application
// publishes and that every module of the product shares. It must not change.

#include <windows.h>

#include <cstddef>

constexpr wchar_t kLocalizerMapName[] = L"__Kestrova_Localizer_Map__";
constexpr wchar_t kLocalizerMutexName[] = L"__#$$ZRV_Localizer_Mutex$$#__";
constexpr DWORD kLocalizerWaitMs = 10000;

#pragma pack(push, 4)
struct LocalizerMapEntry {
    DWORD processId;  // 0 in a free slot
    DWORD threadId;   // 0 in a free slot
    LONG useCount;    // the map's hold plus one per live lookup of the thread
    DWORD localizer;  // IAppLocalizer pointer, meaningful in that thread only
};

struct LocalizerMap {
    BYTE reserved[48];  // the creator's; never read or written here
    LONG entryCount;    // slots in use, free ones below the highest included
    LocalizerMapEntry entries[1];
};
#pragma pack(pop)

static_assert(sizeof(LocalizerMapEntry) == 16, "shared layout");
static_assert(offsetof(LocalizerMap, entryCount) == 48, "shared layout");
static_assert(offsetof(LocalizerMap, entries) == 52, "shared layout");

constexpr SIZE_T kLocalizerMapHeaderBytes = offsetof(LocalizerMap, entries);
