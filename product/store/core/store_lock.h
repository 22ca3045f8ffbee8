#pragma once
// The named mutex that serialises every access to one store file, across
// processes. Readers take it too, so that a replace never meets an open file.

#include <windows.h>

#include <string>

#include "support/handles.h"

namespace zrvstore {

// Every store operation runs on its caller's thread, which is often a
// user-interface thread: it waits this long for the lock at most. Holders
// keep it for one read or one save, milliseconds; one that keeps it longer
// is another program's business (a backup, a hung writer), not a reason to
// freeze the caller's windows.
constexpr DWORD kStoreLockWaitMs = 2000;

// The answer of an operation that could not have the lock within the wait:
// the store is in use elsewhere, and the same call may work later.
const HRESULT kStoreBusy = HRESULT_FROM_WIN32(ERROR_LOCK_VIOLATION);

class StoreLock {
  public:
    StoreLock() = default;
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;
    ~StoreLock();

    // A holder that died while holding the lock leaves the file as it was
    // before or after its save (saves replace the file in one step), so an
    // abandoned lock is simply taken over. kStoreBusy when another holder
    // kept it for the whole wait.
    HRESULT Acquire(const std::wstring& storeFile, DWORD timeoutMs = kStoreLockWaitMs);

    // The mutex name for a store file: the same in every process.
    static std::wstring MutexName(const std::wstring& storeFile);

  private:
    zrv::unique_handle m_mutex;
    bool m_held = false;
};

}  // namespace zrvstore
