#pragma once
// Waiting on a mutex shared between processes. A wait that ends with
// WAIT_ABANDONED has handed the mutex to the caller just as a normal one
// does: its last holder died without releasing it. Treating that as a failure
// and walking away leaves the mutex owned by the waiting thread until that
// thread ends, and every other process then waits on it in vain. So an
// abandoned wait counts as acquired, and whoever acquired releases.

#include <windows.h>

#include <utility>

namespace zrv {

enum class mutex_wait { acquired, abandoned, timed_out, failed };

// Waits for the mutex; acquired or abandoned means the caller owns it now.
inline mutex_wait wait_for_mutex(HANDLE mutex, DWORD timeoutMs) noexcept {
    if (!mutex) return mutex_wait::failed;
    switch (::WaitForSingleObject(mutex, timeoutMs)) {
        case WAIT_OBJECT_0:
            return mutex_wait::acquired;
        case WAIT_ABANDONED:
            return mutex_wait::abandoned;
        case WAIT_TIMEOUT:
            return mutex_wait::timed_out;
        default:
            return mutex_wait::failed;
    }
}

inline bool owns_mutex(mutex_wait result) noexcept {
    return result == mutex_wait::acquired || result == mutex_wait::abandoned;
}

// Holds a mutex from a successful wait until it goes out of scope.
class mutex_lock {
  public:
    mutex_lock() noexcept = default;
    mutex_lock(HANDLE mutex, DWORD timeoutMs) noexcept
        : m_result(wait_for_mutex(mutex, timeoutMs)) {
        if (owns_mutex(m_result)) m_mutex = mutex;
    }
    mutex_lock(const mutex_lock&) = delete;
    mutex_lock& operator=(const mutex_lock&) = delete;
    mutex_lock(mutex_lock&& other) noexcept
        : m_mutex(std::exchange(other.m_mutex, nullptr)), m_result(other.m_result) {}
    mutex_lock& operator=(mutex_lock&& other) noexcept {
        if (this != &other) {
            unlock();
            m_mutex = std::exchange(other.m_mutex, nullptr);
            m_result = other.m_result;
        }
        return *this;
    }
    ~mutex_lock() { unlock(); }

    bool owns() const noexcept { return m_mutex != nullptr; }
    explicit operator bool() const noexcept { return owns(); }
    // How the wait ended; abandoned tells that the last holder died inside.
    mutex_wait result() const noexcept { return m_result; }

    void unlock() noexcept {
        if (m_mutex) ::ReleaseMutex(std::exchange(m_mutex, nullptr));
    }

  private:
    HANDLE m_mutex = nullptr;
    mutex_wait m_result = mutex_wait::failed;
};

}  // namespace zrv
