#pragma once
// The store's lock held by another thread of the test, as another program
// holds it during a long save or a backup: every store call of the test's
// thread waits for it and then fails as busy.

#include <windows.h>

#include <string>
#include <thread>

#include "store/core/store_lock.h"
#include "support/handles.h"

namespace zrvtest {

class HeldStoreLock {
  public:
    // An empty file name holds nothing.
    explicit HeldStoreLock(const std::wstring& storeFile)
        : m_taken(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
          m_free(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
        if (storeFile.empty()) return;
        m_holder = std::thread([this, storeFile] {
            zrvstore::StoreLock lock;
            m_held = SUCCEEDED(lock.Acquire(storeFile, INFINITE));
            ::SetEvent(m_taken.get());
            ::WaitForSingleObject(m_free.get(), INFINITE);
        });
        ::WaitForSingleObject(m_taken.get(), INFINITE);
    }
    HeldStoreLock(const HeldStoreLock&) = delete;
    HeldStoreLock& operator=(const HeldStoreLock&) = delete;
    ~HeldStoreLock() { Release(); }

    bool held() const noexcept { return m_held; }
    void Release() {
        ::SetEvent(m_free.get());
        if (m_holder.joinable()) m_holder.join();
        m_held = false;
    }

  private:
    zrv::unique_handle m_taken;
    zrv::unique_handle m_free;
    std::thread m_holder;
    bool m_held = false;
};

}  // namespace zrvtest
