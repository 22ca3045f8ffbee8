#pragma once
// The Size field during a walk. The worker reports every entry, thousands a
// second, while a screen shows some sixty pictures a second and setting an
// edit control's text costs more than a whole entry of the walk. The field
// therefore takes the latest figure at most once a frame: at once when the
// last frame is that old, otherwise when a one-shot timer ends the frame.
// The walk's last figure is shown at once.
//
// Lives on the page's thread. The timer is one of the page's window, under
// an id of the page's: its WM_TIMER carries nothing of this object, and the
// page hands it to EndFrame while the page is there. A WM_TIMER that a host
// took from the queue and dispatches after the page's window is gone thus
// reaches nothing at all. Detach kills the timer; it must come before the
// field or this object goes.

#include <windows.h>

#include "support/cstring.h"

class SizeDisplay {
  public:
    // How long a figure stays before the next one may replace it.
    static constexpr DWORD kFrameMs = 16;

    SizeDisplay() noexcept = default;
    SizeDisplay(const SizeDisplay&) = delete;
    SizeDisplay& operator=(const SizeDisplay&) = delete;
    ~SizeDisplay() { Detach(); }

    // Figures go to field; the frame's timer runs on timerWindow as timerId.
    void Attach(HWND field, HWND timerWindow, UINT_PTR timerId) noexcept;
    // Shows nothing more: a figure still waiting for its frame is dropped.
    void Detach() noexcept;

    // A figure of the walk; last marks its final one, which is exact and is
    // shown at once. A figure equal to what the field shows is not set again.
    void Take(const CString& text, bool last) noexcept;
    // The frame's timer went off.
    void EndFrame() noexcept;

  private:
    void ShowPending(DWORD now) noexcept;
    void StopTimer() noexcept;
    // The field already shows text.
    bool Shows(const CString& text) const noexcept;

    HWND m_field = nullptr;
    HWND m_timerWindow = nullptr;
    UINT_PTR m_timerId = 0;
    CString m_pending;
    bool m_hasPending = false;
    bool m_timerArmed = false;
    bool m_shownAny = false;
    DWORD m_lastSet = 0;  // GetTickCount of the last text set
};
