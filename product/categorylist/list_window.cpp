#include "list_window.h"

#include <algorithm>

#include "categorylist/server.h"

namespace zrvcatlist {
namespace {

constexpr wchar_t kFrameClass[] = L"ZRVCategoryListFrame";
constexpr UINT kRefreshMessage = WM_APP + 1;
constexpr UINT_PTR kListId = 1;

ATOM g_frameClass = 0;

bool EnsureWindowClass(WNDPROC procedure) noexcept {
    if (g_frameClass) return true;
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = procedure;
    wc.hInstance = ServerInstance();
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kFrameClass;
    g_frameClass = ::RegisterClassExW(&wc);
    return g_frameClass != 0;
}

}  // namespace

HRESULT CategoryListWindow::Create(HWND parent, const RECT& position) noexcept {
    if (m_frame) return S_FALSE;
    if (!EnsureWindowClass(WindowProc)) return HRESULT_FROM_WIN32(::GetLastError());
    // The frame takes part in dialog navigation, so Tab reaches the list.
    ::CreateWindowExW(WS_EX_CONTROLPARENT, kFrameClass, L"",
                      WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, position.left, position.top,
                      position.right - position.left, position.bottom - position.top, parent,
                      nullptr, ServerInstance(), this);
    if (!m_frame || !m_list) {
        const HRESULT hr = HRESULT_FROM_WIN32(::GetLastError());
        Destroy();
        return FAILED(hr) ? hr : E_FAIL;
    }
    return S_OK;
}

void CategoryListWindow::Destroy() noexcept {
    if (m_frame) ::DestroyWindow(m_frame);  // WM_NCDESTROY forgets both handles
}

void CategoryListWindow::Move(const RECT& position) noexcept {
    if (!m_frame) return;
    ::MoveWindow(m_frame, position.left, position.top, position.right - position.left,
                 position.bottom - position.top, TRUE);
}

std::vector<std::wstring> CategoryListWindow::SelectedTexts() const {
    std::vector<std::wstring> texts;
    for (int index : SelectedIndexes()) {
        const LRESULT length = ::SendMessageW(m_list, LB_GETTEXTLEN, index, 0);
        if (length < 0) continue;
        std::wstring text(static_cast<size_t>(length) + 1, L'\0');
        const LRESULT copied =
            ::SendMessageW(m_list, LB_GETTEXT, index, reinterpret_cast<LPARAM>(&text[0]));
        text.resize(copied < 0 ? 0 : static_cast<size_t>(copied));
        texts.push_back(std::move(text));
    }
    return texts;
}

void CategoryListWindow::Fill(const std::vector<std::wstring>& names) {
    if (!m_list) return;
    std::vector<std::wstring> selected = SelectedTexts();
    std::sort(selected.begin(), selected.end());
    const LRESULT top = ::SendMessageW(m_list, LB_GETTOPINDEX, 0, 0);

    ::SendMessageW(m_list, WM_SETREDRAW, FALSE, 0);
    ::SendMessageW(m_list, LB_RESETCONTENT, 0, 0);
    for (const std::wstring& name : names) {
        const LRESULT index =
            ::SendMessageW(m_list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
        if (index >= 0 && std::binary_search(selected.begin(), selected.end(), name)) {
            ::SendMessageW(m_list, LB_SETSEL, TRUE, index);
        }
    }
    if (top > 0) ::SendMessageW(m_list, LB_SETTOPINDEX, top, 0);
    ::SendMessageW(m_list, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(m_list, nullptr, TRUE);
}

std::vector<int> CategoryListWindow::SelectedIndexes() const {
    if (!m_list) return {};
    const LRESULT count = ::SendMessageW(m_list, LB_GETSELCOUNT, 0, 0);
    if (count <= 0) return {};
    std::vector<int> indexes(static_cast<size_t>(count));
    const LRESULT got =
        ::SendMessageW(m_list, LB_GETSELITEMS, count, reinterpret_cast<LPARAM>(indexes.data()));
    indexes.resize(got < 0 ? 0 : static_cast<size_t>(got));
    return indexes;
}

void CategoryListWindow::RequestRefresh() noexcept {
    if (!m_frame || m_refreshPosted) return;
    m_refreshPosted = ::PostMessageW(m_frame, kRefreshMessage, 0, 0) != FALSE;
}

void CategoryListWindow::UnregisterWindowClass() noexcept {
    if (g_frameClass) ::UnregisterClassW(kFrameClass, ServerInstance());
    g_frameClass = 0;
}

LRESULT CALLBACK CategoryListWindow::WindowProc(HWND window, UINT message, WPARAM wParam,
                                                LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<CategoryListWindow*>(
            reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->m_frame = window;
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<CategoryListWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) return ::DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        self->m_frame = nullptr;
        self->m_list = nullptr;
        self->m_refreshPosted = false;
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
    try {
        return self->HandleMessage(message, wParam, lParam);
    } catch (...) {
        return 0;  // a refresh that ran out of memory leaves the list as it was
    }
}

LRESULT CategoryListWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE: {
            RECT client = {};
            ::GetClientRect(m_frame, &client);
            m_list = ::CreateWindowExW(WS_EX_CLIENTEDGE, L"LISTBOX", L"",
                                       WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP |
                                           LBS_EXTENDEDSEL | LBS_NOINTEGRALHEIGHT | LBS_NOTIFY,
                                       0, 0, client.right, client.bottom, m_frame,
                                       reinterpret_cast<HMENU>(kListId), ServerInstance(), nullptr);
            if (!m_list) return -1;
            ::SendMessageW(m_list, WM_SETFONT,
                           reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)), FALSE);
            return 0;
        }
        case WM_SIZE:
            if (m_list) ::MoveWindow(m_list, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
            return 0;
        case WM_SETFOCUS:
            if (m_list) ::SetFocus(m_list);
            return 0;
        case WM_SETFONT:
            if (m_list) ::SendMessageW(m_list, WM_SETFONT, wParam, lParam);
            return 0;
        case WM_ERASEBKGND:
            return 1;  // the list covers the whole frame
        case kRefreshMessage:
            m_refreshPosted = false;
            m_owner->OnRefreshDue();
            return 0;
        default:
            return ::DefWindowProcW(m_frame, message, wParam, lParam);
    }
}

}  // namespace zrvcatlist
