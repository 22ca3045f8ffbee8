#pragma once
// The named mutex that serialises every access to one store file, across
// processes. Readers take it too, so that a replace never meets an open file.

#include <windows.h>

#include <string>

#include "support/handles.h"

namespace zrvstore {

class StoreLock {
  public:
    StoreLock() = default;
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;
    ~StoreLock();

    // A holder that died while holding the lock leaves the file as it was
    // before or after its save (saves replace the file in one step), so an
    // abandoned lock is simply taken over.
    HRESULT Acquire(const std::wstring& storeFile, DWORD timeoutMs = 30000);

    // The mutex name for a store file: the same in every process.
    static std::wstring MutexName(const std::wstring& storeFile);

  private:
    zrv::unique_handle m_mutex;
    bool m_held = false;
};

}  // namespace zrvstore
