#include "browser_window.h"

#include <commctrl.h>

namespace zrvproduct {

namespace {

constexpr wchar_t kWindowClass[] = L"ZRVBrowserWindow";

LRESULT CALLBACK BrowserWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return ::DefWindowProcW(window, message, wParam, lParam);
}

HWND AddControl(HWND parent, const wchar_t* className, const wchar_t* text, DWORD style, int x,
                int y, int width, int height) {
    HWND control = ::CreateWindowExW(0, className, text, WS_CHILD | WS_VISIBLE | style, x, y, width,
                                     height, parent, nullptr, nullptr, nullptr);
    if (control) {
        ::SendMessageW(control, WM_SETFONT,
                       reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    }
    return control;
}

}  // namespace

HWND CreateBrowserWindow(const std::wstring& location) {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = &BrowserWindowProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kWindowClass;
    ::RegisterClassExW(&windowClass);  // fails harmlessly when it already exists

    HWND window = ::CreateWindowExW(0, kWindowClass, L"Documents", WS_OVERLAPPEDWINDOW, 0, 0, 480,
                                    320, nullptr, nullptr, windowClass.hInstance, nullptr);
    if (!window) return nullptr;
    AddControl(window, L"Static", L"Location:", SS_LEFT, 8, 10, 60, 16);
    HWND field = AddControl(window, L"Edit", location.c_str(),
                            WS_BORDER | ES_AUTOHSCROLL | ES_READONLY, 72, 8, 300, 20);
    AddControl(window, L"ComboBox", L"", CBS_DROPDOWNLIST, 380, 8, 88, 120);
    AddControl(window, L"ListBox", L"", WS_BORDER | LBS_NOTIFY, 8, 36, 460, 220);
    AddControl(window, L"Button", L"Properties", BS_PUSHBUTTON, 380, 264, 88, 24);
    AddControl(window, L"Static", L"Ready", SS_LEFT, 8, 268, 300, 16);
    // The field lays its text out now, as it would when first painted.
    if (field) ::SendMessageW(field, EM_POSFROMCHAR, 0, 0);
    ::ShowWindow(window, SW_SHOWNOACTIVATE);
    ::UpdateWindow(window);
    return window;
}

}  // namespace zrvproduct
