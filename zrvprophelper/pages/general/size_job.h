#pragma once
// What the General page and its size worker share: the path to size, the
// page window the figures go to, the gate that stops updates when the page
// closes, and the latest figure. The page and the worker thread each hold
// one reference, so whichever finishes last frees it, and neither needs the
// other to still exist.

#include <windows.h>

#include <atomic>

#include "support/com_ptr.h"
#include "support/cstring.h"

// Lets the worker send updates only while the page is open, and lets the
// page shut it without deadlocking on a send that is under way: the sender
// is blocked until the page's own thread handles the message.
class SizeUpdateGate {
  public:
    // Worker: true when an update may be sent now; then EndSend must follow
    // once the send has returned.
    bool BeginSend() noexcept;
    void EndSend() noexcept;
    bool IsClosed() const noexcept;

    // Page thread: shuts the gate. Returns once no send is under way,
    // handling sent messages meanwhile, or when the deadline (a
    // GetTickCount value) has passed.
    void Close(DWORD deadline) noexcept;

  private:
    static constexpr unsigned kSending = 0x1;
    static constexpr unsigned kClosed = 0x2;
    std::atomic<unsigned> m_state{0};
};

class SizeJob {
  public:
    // Null when there is no memory for it.
    static zrv::com_ptr<SizeJob> Create(const CString& path, HWND target) noexcept;
    SizeJob(const SizeJob&) = delete;
    SizeJob& operator=(const SizeJob&) = delete;

    void AddRef() noexcept;
    void Release() noexcept;

    // Fixed at creation.
    const CString& Path() const noexcept { return m_path; }
    HWND Target() const noexcept { return m_target; }
    SizeUpdateGate& Gate() noexcept { return m_gate; }

    // The worker's latest figure, and whether it is the walk's last one.
    // Stored by the worker before each update; read by the page, which may
    // also be asked to show it by a WM_APP that does not come from the worker.
    void StoreText(const CString& text, bool last = false) noexcept;
    CString LatestText(bool* last = nullptr) const noexcept;

  private:
    SizeJob(const CString& path, HWND target) noexcept;
    ~SizeJob() = default;

    std::atomic<LONG> m_refs{1};
    const CString m_path;
    const HWND m_target;
    SizeUpdateGate m_gate;
    CString m_text;
    bool m_textIsLast = false;
    mutable SRWLOCK m_textLock = SRWLOCK_INIT;
};
