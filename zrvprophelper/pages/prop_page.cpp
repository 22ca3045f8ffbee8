#include "prop_page.h"

#include <shellapi.h>
#include <shlwapi.h>

#include <cstring>

#include "handlers/selection_intake.h"
#include "module/activation_context.h"
#include "module/module.h"
#include "pages/not_saved_message.h"
#include "support/handles.h"
#include "support/hresult.h"
#include "support/image_pin.h"

namespace {

volatile LONG g_livePages = 0;

// The page description as far as the activation-context field.
constexpr UINT kPageInfoSize = 52;
static_assert(offsetof(PROPSHEETPAGEW, hActCtx) + sizeof(HANDLE) == kPageInfoSize,
              "the page description must end with its activation context");

using CreatePageFn = HPROPSHEETPAGE(WINAPI*)(LPCPROPSHEETPAGEW);
using DestroyPageFn = BOOL(WINAPI*)(HPROPSHEETPAGE);

// Looks up a common-controls function with the module's context active, so
// that the version the page was created with answers.
template <typename Fn>
Fn CommonControlsFunction(zrv::unique_hmodule& library, const char* name) noexcept {
    zrv::ScopedModuleActivation activation;
    if (!activation.ok()) return nullptr;
    library.reset(::LoadLibraryW(L"comctl32.dll"));
    if (!library) return nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(library.get(), name)));
}

CZRVPropPage* PageFromWindow(HWND window) noexcept {
    return reinterpret_cast<CZRVPropPage*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
}

}  // namespace

CZRVPropPage::CZRVPropPage(UINT pageId) noexcept {
    ::InterlockedIncrement(&g_livePages);
    std::memset(&pageInfo, 0, sizeof(pageInfo));
    pageInfo.dwSize = kPageInfoSize;
    // PSP_USEREFPARENT stays idle: pcRefParent is null, since the module is
    // pinned while pages exist and needs no count of them.
    pageInfo.dwFlags = PSP_USEICONID | PSP_USETITLE | PSP_USEREFPARENT | PSP_USECALLBACK;
    pageInfo.hInstance = g_module.Instance();
    pageInfo.pszTemplate = MAKEINTRESOURCEW(pageId);
    pageInfo.pszIcon = MAKEINTRESOURCEW(pageId);
    pageInfo.pszTitle = titleBuffer;
    pageInfo.pfnDlgProc = &CZRVPropPage::PageDialogProc;
    pageInfo.lParam = reinterpret_cast<LPARAM>(this);
    pageInfo.pfnCallback = &CZRVPropPage::PageCallback;

    titleBuffer[0] = L'\0';
    // Without memory for the title's text the tab shows an empty title.
    CString title;
    if (SUCCEEDED(title.LoadLocalizedString(pageId)) && !title.IsEmpty()) {
        ::lstrcpynW(titleBuffer, title.GetString(), ARRAYSIZE(titleBuffer));
    }
    // A page whose code could be unmapped under its dialog is not offered.
    if (zrv::PinThisImage()) CreatePageHandle();
}

CZRVPropPage::~CZRVPropPage() { ::InterlockedDecrement(&g_livePages); }

LONG CZRVPropPage::LiveObjectCount() noexcept {
    return ::InterlockedCompareExchange(&g_livePages, 0, 0);
}

void CZRVPropPage::AddRef() noexcept { ::InterlockedIncrement(&m_refs); }

void CZRVPropPage::Release() noexcept {
    if (::InterlockedDecrement(&m_refs) == 0) delete this;
}

void CZRVPropPage::ReleaseFromHandler() noexcept {
    if (pageHandle && !m_handleAccepted) {
        zrv::unique_hmodule comctl;
        auto destroy = CommonControlsFunction<DestroyPageFn>(comctl, "DestroyPropertySheetPage");
        HPROPSHEETPAGE handle = pageHandle;
        pageHandle = nullptr;
        // Gives back the handle's reference through PSPCB_RELEASE.
        if (destroy) destroy(handle);
    }
    Release();
}

// Creates the page with the module's activation context active, so that the
// page's dialog is built with version 6 common controls. The function is
// looked up while the context is active, as isolation-aware code must.
void CZRVPropPage::CreatePageHandle() noexcept {
    zrv::ScopedModuleActivation activation;
    if (!activation.ok()) return;
    zrv::unique_hmodule comctl;
    auto create = CommonControlsFunction<CreatePageFn>(comctl, "CreatePropertySheetPageW");
    if (create) {
        if (activation.context() != INVALID_HANDLE_VALUE && pageInfo.dwSize >= kPageInfoSize &&
            !(pageInfo.dwFlags & PSP_USEFUSIONCONTEXT)) {
            pageInfo.dwFlags |= PSP_USEFUSIONCONTEXT;
            pageInfo.hActCtx = activation.context();
        }
        // The page handle holds its own reference until PSPCB_RELEASE.
        AddRef();
        pageHandle = create(&pageInfo);
        if (!pageHandle) Release();
    }
}

HRESULT CZRVPropPage::Initialize(PCIDLIST_ABSOLUTE, IDataObject* data, HKEY) noexcept {
    return ReadSelection(data, selection);
}

HRESULT CZRVPropPage::AddPages(LPFNSVADDPROPSHEETPAGE addPage, LPARAM param) noexcept {
    if (!pageHandle || !addPage) return E_FAIL;
    if (!addPage(pageHandle, param)) return E_FAIL;
    m_handleAccepted = true;
    return S_OK;
}

HRESULT CZRVPropPage::ReplacePage(EXPPS, LPFNSVADDPROPSHEETPAGE, LPARAM) noexcept {
    return E_NOTIMPL;
}

BOOL CZRVPropPage::OnInitDialog() noexcept { return FALSE; }
BOOL CZRVPropPage::OnDestroy() noexcept { return FALSE; }
LRESULT CZRVPropPage::OnApply() noexcept { return 0; }
LRESULT CZRVPropPage::OnUserMessage(UINT, WPARAM, LPARAM) noexcept { return 0; }
LRESULT CZRVPropPage::OnNotify(NMHDR*) noexcept { return 0; }
LRESULT CZRVPropPage::OnCommand(WPARAM, WORD) noexcept { return 0; }
void CZRVPropPage::OnHelp() noexcept {}
void CZRVPropPage::OnShow() noexcept {}
void CZRVPropPage::OnTimer(UINT_PTR) noexcept {}

LRESULT CZRVPropPage::SetModified(bool changed) noexcept {
    if (!::IsWindow(window)) return 0;
    const LRESULT answer =
        ::SendMessageW(::GetParent(window), changed ? PSM_CHANGED : PSM_UNCHANGED,
                       reinterpret_cast<WPARAM>(window), 0);
    return answer == 0 ? 1 : 0;
}

LRESULT CZRVPropPage::RefuseApplyIfChangeLost(bool changeLost, UINT messageId) noexcept {
    if (!changeLost) return 0;
    ShowNotSavedMessage(window, messageId);
    m_applyRefused = true;
    return 1;
}

const CString* CZRVPropPage::SelectedPath() const noexcept {
    return selection.empty() ? nullptr : &selection[0];
}

bool CZRVPropPage::MakeSelectedPathBstr(CComBSTR& path) const noexcept {
    const CString* selected = SelectedPath();
    return selected && SUCCEEDED(path.Assign(*selected));
}

void CZRVPropPage::ReleaseDialogState() noexcept {
    FileSelection().swap(selection);
    window = nullptr;
}

// The sheet reads the outcome from DWLP_MSGRESULT whenever the procedure
// answers nonzero, so it is set on every apply: a refusal must not be read
// again by the next one. A page that refuses shows a message first, in a
// modal loop of its own, where the host may destroy the sheet: the page is
// held until it has answered.
LRESULT CZRVPropPage::DispatchApply(CZRVPropPage* page, HWND window) {
    page->AddRef();
    zrv::scope_exit release([page] { page->Release(); });
    page->m_applyRefused = false;
    const LRESULT result = page->OnApply();
    const bool refused = page->m_applyRefused;
    if (!::IsWindow(window)) return 0;
    ::SetWindowLongPtrW(window, DWLP_MSGRESULT,
                        refused ? PSNRET_INVALID_NOCHANGEPAGE : PSNRET_NOERROR);
    return refused ? TRUE : result;
}

UINT CALLBACK CZRVPropPage::PageCallback(HWND, UINT message, PROPSHEETPAGEW* page) {
    // The sheet or the host has destroyed the page handle: give back the
    // handle's reference. Creation is always allowed.
    if (message == PSPCB_RELEASE && page) {
        reinterpret_cast<CZRVPropPage*>(page->lParam)->Release();
    }
    return 1;
}

// The only place that sees raw messages.
INT_PTR CALLBACK CZRVPropPage::PageDialogProc(HWND window, UINT message, WPARAM wParam,
                                              LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* info = reinterpret_cast<PROPSHEETPAGEW*>(lParam);
        if (!info) return 0;
        auto* page = reinterpret_cast<CZRVPropPage*>(info->lParam);
        if (!page) return 0;
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(page));
        page->AddRef();  // the dialog's reference, given back at WM_DESTROY
        page->window = window;
        if (!::IsWindow(window)) return 0;
        return page->OnInitDialog() ? 1 : 0;
    }

    CZRVPropPage* page = PageFromWindow(window);
    if (!page) return 0;

    switch (message) {
        case WM_DESTROY: {
            // Messages that arrive while the window is torn down must not
            // find a page that is about to go away.
            ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            page->OnDestroy();
            page->ReleaseDialogState();
            page->Release();
            return 0;
        }
        case WM_SHOWWINDOW:
            if (wParam) page->OnShow();
            return 0;
        case WM_NOTIFY: {
            auto* header = reinterpret_cast<NMHDR*>(lParam);
            if (!header) return 0;
            if (header->code == PSN_APPLY) return DispatchApply(page, window);
            return page->OnNotify(header);
        }
        case WM_HELP:
            page->OnHelp();
            return 0;
        case WM_TIMER:
            page->OnTimer(wParam);
            return 0;
        case WM_COMMAND:
            return page->OnCommand(wParam, HIWORD(wParam));
        case WM_APP:
        case WM_APP + 1:
        case WM_APP + 2:
            return page->OnUserMessage(message, wParam, lParam);
        default:
            return 0;
    }
}
