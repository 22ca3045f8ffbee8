#include "size_job.h"

#include <new>

#include "pages/general/sent_messages.h"

bool SizeUpdateGate::BeginSend() noexcept {
    unsigned open = 0;
    return m_state.compare_exchange_strong(open, kSending);
}

void SizeUpdateGate::EndSend() noexcept { m_state.fetch_and(~kSending); }

bool SizeUpdateGate::IsClosed() const noexcept { return (m_state.load() & kClosed) != 0; }

void SizeUpdateGate::Close(DWORD deadline) noexcept {
    m_state.fetch_or(kClosed);
    // A worker inside its send waits for this very thread to handle the
    // message; the page's dialog procedure no longer passes it on.
    while ((m_state.load() & kSending) != 0 && MillisecondsLeft(deadline) > 0) {
        HandleSentMessages();
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_SENDMESSAGE);
    }
}

zrv::com_ptr<SizeJob> SizeJob::Create(const CString& path, HWND target) noexcept {
    return zrv::com_ptr<SizeJob>::attach(new (std::nothrow) SizeJob(path, target));
}

SizeJob::SizeJob(const CString& path, HWND target) noexcept : m_path(path), m_target(target) {}

void SizeJob::AddRef() noexcept { m_refs.fetch_add(1); }

void SizeJob::Release() noexcept {
    if (m_refs.fetch_sub(1) == 1) delete this;
}

void SizeJob::StoreText(const CString& text, bool last) noexcept {
    ::AcquireSRWLockExclusive(&m_textLock);
    m_text = text;
    m_textIsLast = last;
    ::ReleaseSRWLockExclusive(&m_textLock);
}

CString SizeJob::LatestText(bool* last) const noexcept {
    ::AcquireSRWLockShared(&m_textLock);
    CString text = m_text;
    if (last) *last = m_textIsLast;
    ::ReleaseSRWLockShared(&m_textLock);
    return text;
}
