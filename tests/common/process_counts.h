#pragma once
// What this process holds right now, for tests that check that nothing grows
// per dialog, per thread or per load. Wine answers 0 to GetProcessHandleCount,
// so handles are counted in the system's own handle table.

#include <windows.h>

#include <string>

namespace zrvtest {

struct ProcessCounts {
    LONG handles = -1;  // -1: the system would not tell
    LONG threads = 0;
    SIZE_T heapBytes = 0;  // in blocks that are in use now
};

ProcessCounts CurrentProcessCounts();
// Every heap of the process passes the system's own check of its blocks: a
// write past a block or after its free shows there.
bool AllHeapsValid();
std::string Describe(const ProcessCounts& counts);

}  // namespace zrvtest
