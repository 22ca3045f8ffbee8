#include "threads.h"

#include <tlhelp32.h>

#include <algorithm>

#include "support/handles.h"

namespace zrvtest {

std::vector<DWORD> RunningThreads() {
    std::vector<DWORD> ids;
    zrv::unique_hfile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    if (!snapshot) return ids;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    const DWORD self = ::GetCurrentProcessId();
    for (BOOL more = ::Thread32First(snapshot.get(), &entry); more;
         more = ::Thread32Next(snapshot.get(), &entry)) {
        if (entry.th32OwnerProcessID == self && IsThreadRunning(entry.th32ThreadID)) {
            ids.push_back(entry.th32ThreadID);
        }
    }
    std::sort(ids.begin(), ids.end());
    return ids;
}

bool IsThreadRunning(DWORD id) {
    const zrv::unique_handle thread(::OpenThread(SYNCHRONIZE, FALSE, id));
    return thread && ::WaitForSingleObject(thread.get(), 0) == WAIT_TIMEOUT;
}

}  // namespace zrvtest
