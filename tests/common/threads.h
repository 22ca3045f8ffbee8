#pragma once
// The threads of this process, for tests and benchmarks that check a worker
// has started or ended.

#include <windows.h>

#include <vector>

namespace zrvtest {

// Ids of the threads of this process that are running now, sorted. Threads
// that have ended but are still listed are left out.
std::vector<DWORD> RunningThreads();
bool IsThreadRunning(DWORD id);

}  // namespace zrvtest
