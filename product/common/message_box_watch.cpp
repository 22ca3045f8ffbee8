#include "message_box_watch.h"

#include <utility>

#include "support/handles.h"

namespace zrvproduct {

namespace {

constexpr UINT kTickMs = 20;

thread_local MessageBoxWatch* t_watch = nullptr;

struct BoxSearch {
    HWND owner;
    HWND found = nullptr;
};

BOOL CALLBACK FindOwnedBox(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<BoxSearch*>(param);
    wchar_t name[16] = {};
    ::GetClassNameW(window, name, ARRAYSIZE(name));
    if (::GetWindow(window, GW_OWNER) == search->owner && ::lstrcmpW(name, L"#32770") == 0 &&
        ::IsWindowVisible(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK CollectStaticText(HWND child, LPARAM param) {
    wchar_t name[16] = {};
    ::GetClassNameW(child, name, ARRAYSIZE(name));
    if (::lstrcmpiW(name, L"Static") != 0) return TRUE;
    const int length = ::GetWindowTextLengthW(child);
    if (length <= 0) return TRUE;
    std::wstring text(length + 1, L'\0');
    text.resize(::GetWindowTextW(child, &text[0], length + 1));
    auto* all = reinterpret_cast<std::wstring*>(param);
    *all += (all->empty() ? L"" : L"\n") + text;
    return TRUE;
}

}  // namespace

std::wstring MessageBoxText(HWND box) {
    std::wstring text;
    ::EnumChildWindows(box, &CollectStaticText, reinterpret_cast<LPARAM>(&text));
    return text;
}

MessageBoxWatch::MessageBoxWatch(HWND sheet, Seen seen, DWORD settleMs)
    : m_sheet(sheet), m_seen(std::move(seen)), m_settleMs(settleMs) {
    if (t_watch) return;
    m_timer = ::SetTimer(nullptr, 0, kTickMs, &MessageBoxWatch::Tick);
    if (m_timer) t_watch = this;
}

MessageBoxWatch::~MessageBoxWatch() {
    if (!m_timer) return;
    ::KillTimer(nullptr, m_timer);
    t_watch = nullptr;
}

void CALLBACK MessageBoxWatch::Tick(HWND, UINT, UINT_PTR, DWORD) {
    try {
        if (t_watch) t_watch->Look();
    } catch (...) {
        // The watcher's own failure: the box has been answered all the same.
    }
}

void MessageBoxWatch::Look() {
    BoxSearch search{m_sheet};
    ::EnumThreadWindows(::GetCurrentThreadId(), &FindOwnedBox, reinterpret_cast<LPARAM>(&search));
    HWND box = search.found;
    if (!box) {
        m_box = m_answered = nullptr;
        return;
    }
    if (box == m_answered) return;
    if (box != m_box) {
        m_box = box;
        m_boxSince = ::GetTickCount();
    }
    if (::GetTickCount() - m_boxSince < m_settleMs) return;
    m_box = nullptr;
    m_answered = box;
    // Answered even when the watcher fails.
    zrv::scope_exit answer([box] { ::PostMessageW(box, WM_COMMAND, IDOK, 0); });
    if (m_seen) m_seen(box, MessageBoxText(box));
}

}  // namespace zrvproduct
