#pragma once
// A window of the platform's control-hosting class "AtlAxWin80" (atl80.dll)
// and the ActiveX control inside it, used the way the platform's own window
// wrapper uses it: the class is registered when the wrapper is made, the
// control is created from its class id text, and the control is reached
// through the window.
//
// atl80.dll is loaded on first use and stays loaded for the rest of the
// process: host windows live on after the page that made them (they go with
// their dialog), and their window procedure is in that library. Without the
// library every operation fails and no window is made.

#include <windows.h>
#include <objidl.h>

#include "support/com_ptr.h"

namespace zrv {

class AxHostWindow {
  public:
    // Registers the window class, as the platform's wrapper does.
    AxHostWindow() noexcept;
    AxHostWindow(const AxHostWindow&) = delete;
    AxHostWindow& operator=(const AxHostWindow&) = delete;
    // The window is not destroyed here: once placed it belongs to its parent.
    ~AxHostWindow() = default;

    // A hidden, unparented host window with no text, made with the module's
    // activation context active. Null when it cannot be made.
    HWND Create(HINSTANCE instance) noexcept;

    // Creates the control named by a class id (or program id) text in the
    // window: through the window's host object when it has one, else by
    // attaching a new host to it.
    HRESULT CreateControl(const wchar_t* name) noexcept;

    // Asks the hosted control for an interface.
    template <typename T>
    HRESULT QueryControl(REFIID iid, com_ptr<T>& control) const noexcept {
        com_ptr<IUnknown> unknown;
        const HRESULT hr = GetControl(unknown);
        if (FAILED(hr)) return hr;
        if (!unknown) return E_FAIL;
        return unknown.query(iid, control);
    }

    HWND Handle() const noexcept { return m_window; }
    explicit operator bool() const noexcept { return m_window != nullptr; }

  private:
    HRESULT GetControl(com_ptr<IUnknown>& control) const noexcept;

    HWND m_window = nullptr;
};

}  // namespace zrv
