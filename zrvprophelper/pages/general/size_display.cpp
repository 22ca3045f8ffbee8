#include "size_display.h"

#include <cwchar>

namespace {

// Any figure fits; a longer text in the field is not one of them.
constexpr int kSizeTextBuffer = 64;

}  // namespace

void SizeDisplay::Detach() noexcept {
    StopTimer();
    m_hasPending = false;
    m_pending.Empty();
    m_field = nullptr;
}

void SizeDisplay::Take(const CString& text, bool last) noexcept {
    if (!m_field) return;
    m_pending = text;
    m_hasPending = true;
    const DWORD now = ::GetTickCount();
    if (last || !m_shownAny || now - m_lastSet >= kFrameMs) {
        ShowPending(now);
        return;
    }
    if (m_timerArmed) return;
    // The timer's id is this object, which kills it before it goes. Without
    // a timer the figure waits for the next update that ends a frame, and
    // the walk's last figure is shown at once in any case.
    m_timerArmed = ::SetTimer(m_field, reinterpret_cast<UINT_PTR>(this),
                              kFrameMs - (now - m_lastSet), &SizeDisplay::OnFrameEnd) != 0;
}

void CALLBACK SizeDisplay::OnFrameEnd(HWND, UINT, UINT_PTR id, DWORD) noexcept {
    auto* display = reinterpret_cast<SizeDisplay*>(id);
    const DWORD now = ::GetTickCount();
    const DWORD shown = now - display->m_lastSet;
    // A timer may end a little before the tick count says the frame has.
    if (shown < kFrameMs &&
        ::SetTimer(display->m_field, id, kFrameMs - shown, &SizeDisplay::OnFrameEnd)) {
        return;
    }
    display->ShowPending(now);
}

void SizeDisplay::ShowPending(DWORD now) noexcept {
    StopTimer();
    if (!m_hasPending) return;
    m_hasPending = false;
    if (Set(m_pending)) {
        m_lastSet = now;
        m_shownAny = true;
    }
}

void SizeDisplay::StopTimer() noexcept {
    if (!m_timerArmed) return;
    ::KillTimer(m_field, reinterpret_cast<UINT_PTR>(this));
    m_timerArmed = false;
}

bool SizeDisplay::Set(const CString& text) noexcept {
    // Reading the field back costs far less than setting its text: a figure
    // it already shows, whoever set it, is left alone.
    wchar_t shown[kSizeTextBuffer];
    const int length = ::GetWindowTextW(m_field, shown, kSizeTextBuffer);
    if (length < kSizeTextBuffer - 1 && length == text.GetLength() &&
        std::wmemcmp(shown, text.GetString(), length) == 0) {
        return false;
    }
    ::SetWindowTextW(m_field, text);
    return true;
}
