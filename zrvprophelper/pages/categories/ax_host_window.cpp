#include "ax_host_window.h"

#include "localization/apartment_end.h"
#include "module/activation_context.h"

namespace zrv {

namespace {

constexpr wchar_t kHostWindowClass[] = L"AtlAxWin80";

// The host object's own interface. Only the first two methods are called;
// the slots after them are left undeclared.
const IID IID_IAxWinHostWindow = {
    0xB6EA2050, 0x048A, 0x11D1, {0x82, 0xB9, 0x00, 0xC0, 0x4F, 0xB9, 0x94, 0x2E}};

struct IAxWinHostWindow : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateControl(LPCOLESTR name, HWND window,
                                                    IStream* stream) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateControlEx(LPCOLESTR name, HWND window, IStream* stream,
                                                      IUnknown** control, REFIID sinkIid,
                                                      IUnknown* sink) = 0;
};

// atl80.dll's hosting entry points, exported by name.
struct AxHosting {
    using WinInitFn = BOOL(WINAPI*)();
    using CreateControlExFn = HRESULT(WINAPI*)(LPCOLESTR name, HWND window, IStream* stream,
                                               IUnknown** container, IUnknown** control,
                                               REFIID sinkIid, IUnknown* sink);
    using GetUnknownFn = HRESULT(WINAPI*)(HWND window, IUnknown** object);

    WinInitFn winInit;
    CreateControlExFn createControlEx;
    GetUnknownFn getHost;
    GetUnknownFn getControl;
};

template <typename Fn>
Fn Export(HMODULE library, const char* name) noexcept {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(library, name)));
}

// Looked up once per load and never freed (see the header), with the
// system's one-time initialisation: a function-local static's guard belongs
// to the thread runtime, which allocates its lock on first use and can only
// report a failure by throwing, and nothing may leave the noexcept callers.
INIT_ONCE g_hostingOnce = INIT_ONCE_STATIC_INIT;
AxHosting g_hosting = {};

BOOL CALLBACK LoadHosting(INIT_ONCE*, void*, void**) noexcept {
    if (HMODULE library = ::LoadLibraryW(L"atl80.dll")) {
        g_hosting.winInit = Export<AxHosting::WinInitFn>(library, "AtlAxWinInit");
        g_hosting.createControlEx =
            Export<AxHosting::CreateControlExFn>(library, "AtlAxCreateControlEx");
        g_hosting.getHost = Export<AxHosting::GetUnknownFn>(library, "AtlAxGetHost");
        g_hosting.getControl = Export<AxHosting::GetUnknownFn>(library, "AtlAxGetControl");
    }
    return TRUE;
}

const AxHosting& Hosting() noexcept {
    // Should the system's initialisation fail, the entry points stay null:
    // no window and no control, as without the library.
    ::InitOnceExecuteOnce(&g_hostingOnce, &LoadHosting, nullptr, nullptr);
    return g_hosting;
}

}  // namespace

AxHostWindow::AxHostWindow() noexcept {
    if (const auto winInit = Hosting().winInit) {
        const LibraryComEntries library;
        winInit();
    }
}

HWND AxHostWindow::Create(HINSTANCE instance) noexcept {
    if (m_window) return m_window;
    // Without the hosting library the class may not exist, or may belong to
    // someone else's copy of it.
    if (!Hosting().createControlEx) return nullptr;
    ScopedModuleActivation activation;
    if (!activation.ok()) return nullptr;
    m_window = ::CreateWindowExW(0, kHostWindowClass, nullptr, 0, CW_USEDEFAULT, CW_USEDEFAULT,
                                 CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
    return m_window;
}

HRESULT AxHostWindow::CreateControl(const wchar_t* name) noexcept {
    const AxHosting& atl = Hosting();
    if (!m_window || !atl.createControlEx) return E_FAIL;
    com_ptr<IUnknown> host;
    if (atl.getHost && SUCCEEDED(atl.getHost(m_window, host.put())) && host) {
        com_ptr<IAxWinHostWindow> hostWindow;
        if (SUCCEEDED(host.query(IID_IAxWinHostWindow, hostWindow)) && hostWindow) {
            return hostWindow->CreateControlEx(name, m_window, nullptr, nullptr, IID_NULL, nullptr);
        }
    }
    return atl.createControlEx(name, m_window, nullptr, nullptr, nullptr, IID_NULL, nullptr);
}

HRESULT AxHostWindow::GetControl(com_ptr<IUnknown>& control) const noexcept {
    const AxHosting& atl = Hosting();
    if (!m_window || !atl.getControl) return E_FAIL;
    return atl.getControl(m_window, control.put());
}

}  // namespace zrv
