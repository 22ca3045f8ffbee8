#include "size_display.h"

#include <cwchar>

namespace {

// Any figure fits; a longer text in the field is not one of them.
constexpr int kSizeTextBuffer = 64;

}  // namespace

void SizeDisplay::Attach(HWND field, HWND timerWindow, UINT_PTR timerId) noexcept {
    m_field = field;
    m_timerWindow = timerWindow;
    m_timerId = timerId;
}

void SizeDisplay::Detach() noexcept {
    StopTimer();
    m_hasPending = false;
    m_pending.Empty();
    m_field = nullptr;
    m_timerWindow = nullptr;
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
    // Without a timer the figure waits for the next update that ends a
    // frame, and the walk's last figure is shown at once in any case.
    m_timerArmed = ::SetTimer(m_timerWindow, m_timerId, kFrameMs - (now - m_lastSet), nullptr) != 0;
}

void SizeDisplay::EndFrame() noexcept {
    // Killing a timer leaves a WM_TIMER a host already took from the queue:
    // dispatched later, it finds its frame ended and must not start another.
    if (!m_timerArmed) return;
    const DWORD now = ::GetTickCount();
    const DWORD shown = now - m_lastSet;
    // A timer may end a little before the tick count says the frame has.
    if (shown < kFrameMs && ::SetTimer(m_timerWindow, m_timerId, kFrameMs - shown, nullptr)) {
        return;
    }
    ShowPending(now);
}

void SizeDisplay::ShowPending(DWORD now) noexcept {
    StopTimer();
    if (!m_hasPending) return;
    m_hasPending = false;
    // Reading the field back costs far less than setting its text: a figure
    // it already shows, whoever set it, is left alone.
    if (Shows(m_pending)) return;
    m_lastSet = now;
    m_shownAny = true;
    // Whoever handles the new text (a hook, a subclass) may close the sheet
    // and free this object with the page: the text is set last, from copies.
    const HWND field = m_field;
    const CString text = m_pending;
    ::SetWindowTextW(field, text);
}

void SizeDisplay::StopTimer() noexcept {
    if (!m_timerArmed) return;
    ::KillTimer(m_timerWindow, m_timerId);
    m_timerArmed = false;
}

bool SizeDisplay::Shows(const CString& text) const noexcept {
    wchar_t shown[kSizeTextBuffer];
    const int length = ::GetWindowTextW(m_field, shown, kSizeTextBuffer);
    return length < kSizeTextBuffer - 1 && length == text.GetLength() &&
           std::wmemcmp(shown, text.GetString(), length) == 0;
}
