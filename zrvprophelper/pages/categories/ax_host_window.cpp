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
class AxHosting {
  public:
    using WinInitFn = BOOL(WINAPI*)();
    using CreateControlExFn = HRESULT(WINAPI*)(LPCOLESTR name, HWND window, IStream* stream,
                                               IUnknown** container, IUnknown** control,
                                               REFIID sinkIid, IUnknown* sink);
    using GetUnknownFn = HRESULT(WINAPI*)(HWND window, IUnknown** object);

    static const AxHosting& Get() noexcept {
        // Never freed: see the header.
        static const AxHosting hosting;
        return hosting;
    }

    WinInitFn winInit = nullptr;
    CreateControlExFn createControlEx = nullptr;
    GetUnknownFn getHost = nullptr;
    GetUnknownFn getControl = nullptr;

  private:
    AxHosting() noexcept {
        HMODULE library = ::LoadLibraryW(L"atl80.dll");
        if (!library) return;
        winInit = Export<WinInitFn>(library, "AtlAxWinInit");
        createControlEx = Export<CreateControlExFn>(library, "AtlAxCreateControlEx");
        getHost = Export<GetUnknownFn>(library, "AtlAxGetHost");
        getControl = Export<GetUnknownFn>(library, "AtlAxGetControl");
    }

    template <typename Fn>
    static Fn Export(HMODULE library, const char* name) noexcept {
        return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(library, name)));
    }
};

}  // namespace

AxHostWindow::AxHostWindow() noexcept {
    if (const auto winInit = AxHosting::Get().winInit) {
        const LibraryComEntries library;
        winInit();
    }
}

HWND AxHostWindow::Create(HINSTANCE instance) noexcept {
    if (m_window) return m_window;
    // Without the hosting library the class may not exist, or may belong to
    // someone else's copy of it.
    if (!AxHosting::Get().createControlEx) return nullptr;
    ScopedModuleActivation activation;
    if (!activation.ok()) return nullptr;
    m_window = ::CreateWindowExW(0, kHostWindowClass, nullptr, 0, CW_USEDEFAULT, CW_USEDEFAULT,
                                 CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
    return m_window;
}

HRESULT AxHostWindow::CreateControl(const wchar_t* name) noexcept {
    const AxHosting& atl = AxHosting::Get();
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
    const AxHosting& atl = AxHosting::Get();
    if (!m_window || !atl.getControl) return E_FAIL;
    return atl.getControl(m_window, control.put());
}

}  // namespace zrv
