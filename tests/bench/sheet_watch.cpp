#include "sheet_watch.h"

#include <commctrl.h>

#include "bench/bench_clock.h"
#include "common/sheet_host.h"

namespace zrvbench {

namespace {

// One watch of each kind at a time, on the benchmark's one thread.
PageInitWatch* g_initWatch = nullptr;
ModalPaintWatch* g_paintWatch = nullptr;

// A thread message the modal loop drops, posted to learn when everything
// queued before it has been handled.
constexpr UINT kProbe = WM_APP + 0x3A1;
constexpr DWORD kPaintWaitMs = 1000;
constexpr UINT kModalDeadlineMs = 5000;

// Anything queued other than timers (an edit control's caret blinks on one).
bool QueueBusy() noexcept { return (HIWORD(::GetQueueStatus(QS_ALLINPUT)) & ~QS_TIMER) != 0; }

}  // namespace

PageInitWatch::PageInitWatch() noexcept {
    g_initWatch = this;
    m_hook = ::SetWindowsHookExW(WH_CALLWNDPROCRET, &Hook, nullptr, ::GetCurrentThreadId());
    m_callHook = ::SetWindowsHookExW(WH_CALLWNDPROC, &CallHook, nullptr, ::GetCurrentThreadId());
}

PageInitWatch::~PageInitWatch() {
    if (m_callHook) ::UnhookWindowsHookEx(m_callHook);
    if (m_hook) ::UnhookWindowsHookEx(m_hook);
    g_initWatch = nullptr;
}

LRESULT CALLBACK PageInitWatch::Hook(int code, WPARAM wParam, LPARAM lParam) {
    const auto* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    PageInitWatch* watch = g_initWatch;
    if (code == HC_ACTION && watch && !watch->m_page && call->message == WM_INITDIALOG &&
        (::GetWindowLongW(call->hwnd, GWL_STYLE) & WS_CHILD)) {
        watch->m_initialisedAt = NowMs();
        watch->m_page = call->hwnd;
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

// A dialog's class, which COM's and the shell's hidden windows do not have.
bool IsDialogWindow(HWND window) noexcept {
    wchar_t name[16] = {};
    return ::GetClassNameW(window, name, ARRAYSIZE(name)) > 0 && lstrcmpW(name, L"#32770") == 0;
}

LRESULT CALLBACK PageInitWatch::CallHook(int code, WPARAM wParam, LPARAM lParam) {
    const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    PageInitWatch* watch = g_initWatch;
    if (code == HC_ACTION && watch &&
        (call->message == WM_NCCREATE || call->message == WM_INITDIALOG)) {
        const bool child = (::GetWindowLongW(call->hwnd, GWL_STYLE) & WS_CHILD) != 0;
        if (call->message == WM_NCCREATE && !child && !watch->m_sheetStartedAt &&
            IsDialogWindow(call->hwnd)) {
            watch->m_sheetStartedAt = NowMs();
        } else if (call->message == WM_INITDIALOG && child && !watch->m_pageStartedAt) {
            watch->m_pageStartedAt = NowMs();
        }
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

void PageInitWatch::Road(double start, SheetTimes& times) const noexcept {
    if (m_sheetStartedAt != 0) times.sheetStarted = m_sheetStartedAt - start;
    if (m_pageStartedAt != 0) times.pageStarted = m_pageStartedAt - start;
}

bool PumpUntilPainted(HWND sheet) {
    bool painted = false;
    for (;;) {
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_PAINT) painted = true;
            if (sheet && ::IsWindow(sheet) && PropSheet_IsDialogMessage(sheet, &message)) continue;
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
        if (painted) return true;
        if (::MsgWaitForMultipleObjects(0, nullptr, FALSE, kPaintWaitMs, QS_ALLINPUT) ==
            WAIT_TIMEOUT) {
            return false;
        }
    }
}

SheetTimes TimeModelessSheet(const std::function<HWND()>& open) {
    SheetTimes times;
    HWND sheet = nullptr;
    {
        PageInitWatch pages;
        const double start = NowMs();
        sheet = open();
        if (!sheet) return times;
        PumpUntilPainted(sheet);
        times.painted = NowMs() - start;
        times.initialised = pages.InitialisedAt() - start;
        pages.Road(start, times);
    }
    double* switches[] = {&times.tab2, &times.tab3};
    for (int tab = 1; tab <= 2; ++tab) {
        const double start = NowMs();
        PropSheet_SetCurSel(sheet, nullptr, tab);
        PumpUntilPainted(sheet);
        *switches[tab - 1] = NowMs() - start;
    }
    ::DestroyWindow(sheet);
    zrvproduct::PumpMessages(nullptr);
    return times;
}

ModalPaintWatch::ModalPaintWatch(const PageInitWatch& pages) noexcept : m_pages(pages) {
    g_paintWatch = this;
    m_hook = ::SetWindowsHookExW(WH_GETMESSAGE, &Hook, nullptr, ::GetCurrentThreadId());
    m_deadline = ::SetTimer(nullptr, 0, kModalDeadlineMs, nullptr);
}

ModalPaintWatch::~ModalPaintWatch() {
    if (m_deadline) ::KillTimer(nullptr, m_deadline);
    if (m_hook) ::UnhookWindowsHookEx(m_hook);
    g_paintWatch = nullptr;
    // A probe still queued must not reach the next loop.
    MSG message;
    while (::PeekMessageW(&message, nullptr, kProbe, kProbe, PM_REMOVE)) {
    }
}

LRESULT CALLBACK ModalPaintWatch::Hook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && wParam == PM_REMOVE && g_paintWatch) {
        g_paintWatch->OnMessage(*reinterpret_cast<const MSG*>(lParam));
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

void ModalPaintWatch::CloseSheet() const noexcept {
    if (HWND page = m_pages.Page())
        ::PostMessageW(::GetParent(page), PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
}

void ModalPaintWatch::PostProbe() noexcept {
    if (m_probePending) return;
    m_probePending = ::PostThreadMessageW(::GetCurrentThreadId(), kProbe, 0, 0) != FALSE;
}

// A paint is retrieved only when nothing is posted, and is handled before the
// next retrieval: a probe posted while it is retrieved comes back after it.
// Found with an empty queue, the probe marks the end of the painting; found
// with more queued, it is posted again behind that, or, with a paint pending,
// again after that paint.
void ModalPaintWatch::OnMessage(const MSG& message) noexcept {
    if (m_paintedAt != 0) return;
    if (message.message == WM_TIMER && !message.hwnd && message.wParam == m_deadline) {
        CloseSheet();
        return;
    }
    if (message.message == WM_PAINT) {
        m_painted = true;
        PostProbe();
        return;
    }
    if (message.message != kProbe || message.hwnd) return;
    m_probePending = false;
    if (!m_painted) return;
    if (!QueueBusy()) {
        m_paintedAt = NowMs();
        CloseSheet();
        return;
    }
    if (!(HIWORD(::GetQueueStatus(QS_PAINT)) & QS_PAINT)) PostProbe();
}

}  // namespace zrvbench
