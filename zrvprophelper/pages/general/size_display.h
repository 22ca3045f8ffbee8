#pragma once
// The Size field during a walk. The worker reports every entry, thousands a
// second, while a screen shows some sixty pictures a second and setting an
// edit control's text costs more than a whole entry of the walk. The field
// therefore takes the latest figure at most once a frame: at once when the
// last frame is that old, otherwise when a one-shot timer ends the frame.
// The walk's last figure is shown at once.
//
// Lives on the page's thread. The timer runs on the field's window and is
// killed by Detach, which must come before the field or this object goes.

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

    void Attach(HWND field) noexcept { m_field = field; }
    // Shows nothing more: a figure still waiting for its frame is dropped.
    void Detach() noexcept;

    // A figure of the walk; last marks its final one, which is exact and is
    // shown at once. A figure equal to what the field shows is not set again.
    void Take(const CString& text, bool last) noexcept;

  private:
    static void CALLBACK OnFrameEnd(HWND field, UINT message, UINT_PTR id, DWORD time) noexcept;
    void ShowPending(DWORD now) noexcept;
    void StopTimer() noexcept;
    // The field already shows text.
    bool Shows(const CString& text) const noexcept;

    HWND m_field = nullptr;
    CString m_pending;
    bool m_hasPending = false;
    bool m_timerArmed = false;
    bool m_shownAny = false;
    DWORD m_lastSet = 0;  // GetTickCount of the last text set
};
