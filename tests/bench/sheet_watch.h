#pragma once
// What the sheet benchmark times: when a sheet's first page has finished its
// WM_INITDIALOG, and when the sheet has painted with nothing left queued.

#include <windows.h>

#include <functional>

namespace zrvbench {

// Milliseconds from the start of a sheet's opening (or from a tab switch).
struct SheetTimes {
    double initialised = 0;  // the first page has returned from WM_INITDIALOG
    double painted = 0;      // the first page has painted, nothing left queued
    double tab2 = 0;         // switch to the second tab until painted
    double tab3 = 0;         // and to the third
    // On the first page's road: the sheet's frame is being made (its pages
    // are ready), and the first page's WM_INITDIALOG begins (its controls
    // are made).
    double sheetStarted = 0;
    double pageStarted = 0;
};

// While alive, notes when the first page dialog (a child window) of the
// calling thread returns from WM_INITDIALOG, whoever runs the thread's
// message loop; and on the way there, when the first top-level dialog window
// is being made and when that page's WM_INITDIALOG begins.
class PageInitWatch {
  public:
    PageInitWatch() noexcept;
    ~PageInitWatch();
    PageInitWatch(const PageInitWatch&) = delete;
    PageInitWatch& operator=(const PageInitWatch&) = delete;

    // Milliseconds on the benchmarks' clock; 0 until a page initialised.
    double InitialisedAt() const noexcept { return m_initialisedAt; }
    HWND Page() const noexcept { return m_page; }
    // The first-page road's marks, relative to start; 0 where none was seen.
    void Road(double start, SheetTimes& times) const noexcept;

  private:
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK CallHook(int code, WPARAM wParam, LPARAM lParam);
    HHOOK m_hook = nullptr;
    HHOOK m_callHook = nullptr;
    double m_initialisedAt = 0;
    double m_sheetStartedAt = 0;
    double m_pageStartedAt = 0;
    HWND m_page = nullptr;
};

// Runs the thread's messages for a modeless sheet until a WM_PAINT has been
// handled and the queue is empty. False when no paint came within a second.
bool PumpUntilPainted(HWND sheet);

// Times a modeless three-page sheet that open() builds (from nothing: the
// time open() takes counts), its first page and then the switches to the
// second and third tabs, each until painted; then destroys it.
SheetTimes TimeModelessSheet(const std::function<HWND()>& open);

// For a sheet that runs its own modal loop on this thread: notes when the
// loop has handled a WM_PAINT and then finds its queue empty (timers aside),
// and then asks the sheet (the parent of the page that pages saw initialise)
// to close. A sheet that has not painted within five seconds is closed too.
class ModalPaintWatch {
  public:
    explicit ModalPaintWatch(const PageInitWatch& pages) noexcept;
    ~ModalPaintWatch();
    ModalPaintWatch(const ModalPaintWatch&) = delete;
    ModalPaintWatch& operator=(const ModalPaintWatch&) = delete;

    // Milliseconds on the benchmarks' clock; 0 if the sheet never painted.
    double PaintedAt() const noexcept { return m_paintedAt; }

  private:
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam);
    void OnMessage(const MSG& message) noexcept;
    void PostProbe() noexcept;
    void CloseSheet() const noexcept;
    const PageInitWatch& m_pages;
    HHOOK m_hook = nullptr;
    UINT_PTR m_deadline = 0;
    bool m_painted = false;
    bool m_probePending = false;
    double m_paintedAt = 0;
};

}  // namespace zrvbench
