#include "process_counts.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "common/threads.h"

namespace zrvtest {

namespace {

// The system's handle table, as NtQuerySystemInformation class 16 answers it.
struct HandleEntry {
    ULONG processId;
    UCHAR objectType;
    UCHAR flags;
    USHORT handle;
    PVOID object;
    ACCESS_MASK access;
};
struct HandleTable {
    ULONG count;
    HandleEntry entries[1];
};
using QueryFn = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
constexpr ULONG kSystemHandleInformation = 16;
constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);

LONG CountHandles() {
    const auto query = reinterpret_cast<QueryFn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (!query) return -1;
    std::vector<BYTE> buffer(1 << 16);
    for (;;) {
        ULONG needed = 0;
        const LONG status = query(kSystemHandleInformation, buffer.data(),
                                  static_cast<ULONG>(buffer.size()), &needed);
        if (status == kInfoLengthMismatch) {
            buffer.resize(std::max<size_t>(buffer.size() * 2, needed + 4096));
            continue;
        }
        if (status < 0) return -1;
        const auto* table = reinterpret_cast<const HandleTable*>(buffer.data());
        LONG own = 0;
        for (ULONG i = 0; i < table->count; ++i) {
            if (table->entries[i].processId == ::GetCurrentProcessId()) ++own;
        }
        return own;
    }
}

// Every heap of the process, as many as there are now.
std::vector<HANDLE> ProcessHeaps() {
    std::vector<HANDLE> heaps(64);
    DWORD count = ::GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data());
    if (count > heaps.size()) {
        heaps.resize(count);
        count = ::GetProcessHeaps(count, heaps.data());
    }
    heaps.resize(std::min<size_t>(count, heaps.size()));
    return heaps;
}

// Wine reports no private usage, and a heap keeps what it once committed:
// the blocks in use in every heap of the process are what it holds now.
SIZE_T HeapBytesInUse() {
    SIZE_T total = 0;
    for (HANDLE heap : ProcessHeaps()) {
        if (!::HeapLock(heap)) continue;
        PROCESS_HEAP_ENTRY entry = {};
        while (::HeapWalk(heap, &entry)) {
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) total += entry.cbData;
        }
        ::HeapUnlock(heap);
    }
    return total;
}

}  // namespace

ProcessCounts CurrentProcessCounts() {
    ProcessCounts counts;
    counts.handles = CountHandles();
    counts.threads = static_cast<LONG>(RunningThreads().size());
    counts.heapBytes = HeapBytesInUse();
    return counts;
}

std::string Describe(const ProcessCounts& counts) {
    char text[160];
    std::snprintf(text, sizeof(text), "handles %ld, threads %ld, heap bytes in use %lu KB",
                  counts.handles, counts.threads,
                  static_cast<unsigned long>(counts.heapBytes / 1024));
    return text;
}

bool AllHeapsValid() {
    for (HANDLE heap : ProcessHeaps()) {
        if (!::HeapValidate(heap, 0, nullptr)) return false;
    }
    return true;
}

}  // namespace zrvtest
