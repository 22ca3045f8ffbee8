#pragma once
// Hosts the built category list control the way the Categories page does:
// in a window of the platform's "AtlAxWin80" class, created from the class id
// text, and called through the raw vtable slots that the page uses.

#include <windows.h>

#include <string>
#include <vector>

#include "common/list_box_text.h"
#include "common/scoped_environment.h"
#include "components/component_ids.h"
#include "support/com_ptr.h"

namespace zrvcatlisttest {

// atl80.dll's hosting entry points.
struct AtlHosting {
    AtlHosting();
    bool ok() const { return winInit && createControlEx && getControl; }

    HMODULE module = nullptr;
    BOOL(WINAPI* winInit)() = nullptr;
    HRESULT(WINAPI* createControlEx)
    (LPCOLESTR name, HWND window, IStream* stream, IUnknown** container, IUnknown** control,
     REFIID sinkIid, IUnknown* sink) = nullptr;
    HRESULT(WINAPI* getControl)(HWND window, IUnknown** control) = nullptr;
};

const AtlHosting& Atl();

// A visible top-level window with one host inside it, and the control in
// the host. The top-level window (and with it the host) goes with this.
class HostedControl {
  public:
    // hostRect: the host's place in the top-level window's client area.
    explicit HostedControl(const RECT& hostRect = {10, 10, 210, 160});
    HostedControl(const HostedControl&) = delete;
    HostedControl& operator=(const HostedControl&) = delete;
    ~HostedControl();

    bool ok() const { return list && ControlWindow() && ListBox(); }
    HWND Top() const { return m_top; }
    HWND Host() const { return m_host; }
    HWND ControlWindow() const;  // IOleWindow::GetWindow
    HWND ListBox() const;        // the list inside the control's window
    void DestroyHost();

    zrv::com_ptr<ICategoryList> list;

  private:
    HWND m_top = nullptr;
    HWND m_host = nullptr;
};

// The page's calls, through the vtable slots it uses.
HRESULT SetDocumentSlot(ICategoryList* list, const wchar_t* path);
HRESULT ConfigureSlot(ICategoryList* list, long flags);
HRESULT GetSelectionSlot(ICategoryList* list, ICategoryEnum** selection);
HRESULT ResetSlot(ICategoryEnum* selection);
HRESULT NextSlot(ICategoryEnum* selection, ULONG count, CategoryItem* items, ULONG* fetched);

// GetSelection, Reset, then Next(1) until it stops answering S_OK, as the
// page gathers a selection. Empty when GetSelection fails.
std::vector<std::wstring> WalkSelection(ICategoryList* list);

using zrvtest::ListItems;
void SelectItems(HWND listBox, const std::vector<int>& indexes);  // only these
RECT WindowRectIn(HWND window, HWND reference);  // window's rectangle in reference's client
void PumpMessages();

// The control DLL's own DllCanUnloadNow: S_OK once nothing of it is alive.
HRESULT ControlDllCanUnloadNow();

using zrvtest::ScopedEnvironment;

}  // namespace zrvcatlisttest
