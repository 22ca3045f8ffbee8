#include "category_list_control.h"

#include <new>

#include "categorylist/category_sources.h"
#include "support/caught_exception.h"
#include "support/com_ptr.h"

namespace zrvcatlist {
namespace {

// Activate when visible, inside-out, client site before loading, resized
// with its site: what control containers expect from a windowed control.
constexpr DWORD kMiscStatus = OLEMISC_RECOMPOSEONRESIZE | OLEMISC_CANTLINKINSIDE |
                              OLEMISC_INSIDEOUT | OLEMISC_ACTIVATEWHENVISIBLE |
                              OLEMISC_SETCLIENTSITEFIRST;

// 150 by 100 pixels at 96 dots per inch, in HIMETRIC units.
constexpr SIZEL kDefaultExtent = {3969, 2646};

bool IsEmptyText(const wchar_t* text) { return !text || !*text; }

// Announcements name a document however their caller spelled its path; the
// full path makes "C:\a\..\b.doc" and "c:/b.doc" the same document.
std::wstring FullPath(const wchar_t* path) {
    const DWORD length = ::GetFullPathNameW(path, 0, nullptr, nullptr);
    if (length == 0) return path;
    std::wstring full(length, L'\0');
    const DWORD written = ::GetFullPathNameW(path, length, &full[0], nullptr);
    if (written == 0 || written >= length) return path;
    full.resize(written);
    return full;
}

}  // namespace

HRESULT CCategoryListControl::CreateInstance(IUnknown* outer, REFIID iid, void** object) noexcept {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    const auto control =
        zrv::com_ptr<CCategoryListControl>::attach(new (std::nothrow) CCategoryListControl());
    if (!control) return E_OUTOFMEMORY;
    return control->QueryInterface(iid, object);
}

CCategoryListControl::CCategoryListControl() noexcept : m_extent(kDefaultExtent) {}

CCategoryListControl::~CCategoryListControl() {
    m_updates.Stop();
    m_window.Destroy();
    if (m_selection) m_selection->Disown();
}

// ---- IOleObject

// Clearing the site ends in-place activity as well: the in-place site is the
// same host, and holding on to it would keep the host alive.
STDMETHODIMP CCategoryListControl::SetClientSite(IOleClientSite* site) {
    if (!site) InPlaceDeactivate();
    m_clientSite = zrv::com_ptr<IOleClientSite>(site);
    return S_OK;
}

STDMETHODIMP CCategoryListControl::GetClientSite(IOleClientSite** site) {
    if (!site) return E_POINTER;
    *site = m_clientSite.get();
    if (*site) (*site)->AddRef();
    return S_OK;
}

STDMETHODIMP CCategoryListControl::SetHostNames(LPCOLESTR, LPCOLESTR) { return S_OK; }

STDMETHODIMP CCategoryListControl::Close(DWORD) {
    InPlaceDeactivate();
    m_updates.Stop();
    if (m_adviseHolder) m_adviseHolder->SendOnClose();
    return S_OK;
}

STDMETHODIMP CCategoryListControl::SetMoniker(DWORD, IMoniker*) { return E_NOTIMPL; }

STDMETHODIMP CCategoryListControl::GetMoniker(DWORD, DWORD, IMoniker** moniker) {
    if (moniker) *moniker = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CCategoryListControl::InitFromData(IDataObject*, BOOL, DWORD) { return E_NOTIMPL; }

STDMETHODIMP CCategoryListControl::GetClipboardData(DWORD, IDataObject** data) {
    if (data) *data = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CCategoryListControl::DoVerb(LONG verb, LPMSG, IOleClientSite* activeSite, LONG,
                                          HWND parent, LPCRECT position) try {
    switch (verb) {
        case OLEIVERB_HIDE:
            if (m_window.Handle()) ::ShowWindow(m_window.Handle(), SW_HIDE);
            return S_OK;
        case OLEIVERB_PRIMARY:
        case OLEIVERB_SHOW:
        case OLEIVERB_INPLACEACTIVATE:
        case OLEIVERB_UIACTIVATE:
            break;
        default:
            if (verb < 0) return E_NOTIMPL;
            break;  // an unknown positive verb runs the primary one
    }
    ZRV_RETURN_IF_FAILED(ActivateInPlace(activeSite, parent, position));
    ::ShowWindow(m_window.Handle(), SW_SHOWNA);
    return verb > 0 ? OLEOBJ_S_INVALIDVERB : S_OK;
}
ZRV_CATCH_RETURN()

STDMETHODIMP CCategoryListControl::EnumVerbs(IEnumOLEVERB** verbs) {
    if (verbs) *verbs = nullptr;
    return OLE_S_USEREG;
}

STDMETHODIMP CCategoryListControl::Update() { return S_OK; }

STDMETHODIMP CCategoryListControl::IsUpToDate() { return S_OK; }

STDMETHODIMP CCategoryListControl::GetUserClassID(CLSID* clsid) { return GetClassID(clsid); }

STDMETHODIMP CCategoryListControl::GetUserType(DWORD, LPOLESTR* userType) {
    if (userType) *userType = nullptr;
    return OLE_S_USEREG;
}

STDMETHODIMP CCategoryListControl::SetExtent(DWORD aspect, SIZEL* size) {
    if (aspect != DVASPECT_CONTENT) return E_FAIL;
    if (!size) return E_POINTER;
    m_extent = *size;
    return S_OK;
}

STDMETHODIMP CCategoryListControl::GetExtent(DWORD aspect, SIZEL* size) {
    if (!size) return E_POINTER;
    if (aspect != DVASPECT_CONTENT) return E_FAIL;
    *size = m_extent;
    return S_OK;
}

STDMETHODIMP CCategoryListControl::Advise(IAdviseSink* sink, DWORD* connection) {
    if (!m_adviseHolder) ZRV_RETURN_IF_FAILED(::CreateOleAdviseHolder(m_adviseHolder.put()));
    return m_adviseHolder->Advise(sink, connection);
}

STDMETHODIMP CCategoryListControl::Unadvise(DWORD connection) {
    return m_adviseHolder ? m_adviseHolder->Unadvise(connection) : OLE_E_NOCONNECTION;
}

STDMETHODIMP CCategoryListControl::EnumAdvise(IEnumSTATDATA** advise) {
    if (!advise) return E_POINTER;
    *advise = nullptr;
    return m_adviseHolder ? m_adviseHolder->EnumAdvise(advise) : E_FAIL;
}

STDMETHODIMP CCategoryListControl::GetMiscStatus(DWORD, DWORD* status) {
    if (!status) return E_POINTER;
    *status = kMiscStatus;
    return S_OK;
}

STDMETHODIMP CCategoryListControl::SetColorScheme(LOGPALETTE*) { return E_NOTIMPL; }

// Asks the site's permission and window, then makes the list window inside
// it. A site that offers no in-place support still gets a list when the
// caller named a parent window.
HRESULT CCategoryListControl::ActivateInPlace(IOleClientSite* activeSite, HWND parent,
                                              LPCRECT position) {
    if (m_window.Handle()) return S_OK;
    IOleClientSite* site = activeSite ? activeSite : m_clientSite.get();
    zrv::com_ptr<IOleInPlaceSite> inPlaceSite;
    if (site) site->QueryInterface(IID_IOleInPlaceSite, inPlaceSite.put_void());

    RECT rect = position ? *position : RECT{};
    if (inPlaceSite) {
        if (inPlaceSite->CanInPlaceActivate() != S_OK) return E_FAIL;
        ZRV_RETURN_IF_FAILED(inPlaceSite->OnInPlaceActivate());
        HWND siteWindow = nullptr;
        if (SUCCEEDED(inPlaceSite->GetWindow(&siteWindow)) && siteWindow) parent = siteWindow;
        zrv::com_ptr<IOleInPlaceFrame> frame;
        zrv::com_ptr<IOleInPlaceUIWindow> document;
        RECT siteRect = {};
        RECT clip = {};
        OLEINPLACEFRAMEINFO frameInfo = {};
        frameInfo.cb = sizeof(frameInfo);
        if (SUCCEEDED(inPlaceSite->GetWindowContext(frame.put(), document.put(), &siteRect, &clip,
                                                    &frameInfo))) {
            rect = siteRect;
        }
    }
    if (::IsRectEmpty(&rect) && parent) ::GetClientRect(parent, &rect);

    HRESULT hr = parent ? m_window.Create(parent, rect) : E_INVALIDARG;
    if (FAILED(hr)) {
        if (inPlaceSite) inPlaceSite->OnInPlaceDeactivate();
        return hr;
    }
    m_inPlaceSite = std::move(inPlaceSite);
    // A control closed and activated again listens again.
    if (m_source == Source::Document) m_updates.Start(this);
    if (m_namesStale) {
        Reload();
    } else {
        m_window.Fill(m_names);
    }
    return S_OK;
}

// ---- IOleWindow

STDMETHODIMP CCategoryListControl::GetWindow(HWND* window) {
    if (!window) return E_POINTER;
    *window = m_window.Handle();
    return *window ? S_OK : E_FAIL;
}

STDMETHODIMP CCategoryListControl::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }

// ---- IOleInPlaceObject

STDMETHODIMP CCategoryListControl::InPlaceDeactivate() {
    m_window.Destroy();
    // Taken out of the member first: the call may release the host's last
    // reference to this control.
    zrv::com_ptr<IOleInPlaceSite> site = std::move(m_inPlaceSite);
    if (site) site->OnInPlaceDeactivate();
    return S_OK;
}

STDMETHODIMP CCategoryListControl::UIDeactivate() { return S_OK; }

STDMETHODIMP CCategoryListControl::SetObjectRects(LPCRECT position, LPCRECT) {
    if (!position) return E_POINTER;
    m_window.Move(*position);
    return S_OK;
}

STDMETHODIMP CCategoryListControl::ReactivateAndUndo() { return INPLACE_E_NOTUNDOABLE; }

// ---- IOleInPlaceActiveObject

STDMETHODIMP CCategoryListControl::TranslateAccelerator(LPMSG) { return S_FALSE; }

STDMETHODIMP CCategoryListControl::OnFrameWindowActivate(BOOL) { return S_OK; }

STDMETHODIMP CCategoryListControl::OnDocWindowActivate(BOOL) { return S_OK; }

STDMETHODIMP CCategoryListControl::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) {
    return S_OK;
}

STDMETHODIMP CCategoryListControl::EnableModeless(BOOL) { return S_OK; }

// ---- IPersistStreamInit

STDMETHODIMP CCategoryListControl::GetClassID(CLSID* clsid) {
    if (!clsid) return E_POINTER;
    *clsid = CLSID_CategoryListControl;
    return S_OK;
}

STDMETHODIMP CCategoryListControl::IsDirty() { return S_FALSE; }

STDMETHODIMP CCategoryListControl::Load(LPSTREAM stream) { return stream ? S_OK : E_POINTER; }

STDMETHODIMP CCategoryListControl::Save(LPSTREAM stream, BOOL) { return stream ? S_OK : E_POINTER; }

STDMETHODIMP CCategoryListControl::GetSizeMax(ULARGE_INTEGER* size) {
    if (!size) return E_POINTER;
    size->QuadPart = 0;
    return S_OK;
}

STDMETHODIMP CCategoryListControl::InitNew() { return S_OK; }

// ---- IOleControl

STDMETHODIMP CCategoryListControl::GetControlInfo(CONTROLINFO* info) {
    if (!info) return E_POINTER;
    info->hAccel = nullptr;
    info->cAccel = 0;
    info->dwFlags = 0;
    return S_OK;
}

STDMETHODIMP CCategoryListControl::OnMnemonic(MSG*) { return E_NOTIMPL; }

STDMETHODIMP CCategoryListControl::OnAmbientPropertyChange(DISPID) { return S_OK; }

STDMETHODIMP CCategoryListControl::FreezeEvents(BOOL) { return S_OK; }

// ---- ICategoryList

STDMETHODIMP CCategoryListControl::Reserved7() { return E_NOTIMPL; }

STDMETHODIMP CCategoryListControl::Reserved8() { return E_NOTIMPL; }

STDMETHODIMP CCategoryListControl::SetDocument(BSTR path) try {
    if (IsEmptyText(path)) {
        m_source = Source::Catalogue;
        m_document.clear();
        m_documentKey.clear();
        m_updates.Stop();
    } else {
        m_source = Source::Document;
        m_document = path;
        m_documentKey = FullPath(path);
        // Without the store the list is simply empty and never refreshed.
        m_updates.Start(this);
    }
    Reload();
    return S_OK;
}
ZRV_CATCH_RETURN()

STDMETHODIMP CCategoryListControl::Reserved10() { return E_NOTIMPL; }

STDMETHODIMP CCategoryListControl::GetSelection(ICategoryEnum** selection) try {
    if (!selection) return E_POINTER;
    *selection = nullptr;
    CCategoryEnum* snapshot = CCategoryEnum::Create(m_window.SelectedTexts());
    ZRV_RETURN_IF_NULL_ALLOC(snapshot);
    if (m_selection) m_selection->Disown();
    m_selection = snapshot;
    *selection = snapshot;
    return S_OK;
}
ZRV_CATCH_RETURN()

STDMETHODIMP CCategoryListControl::Reserved12() { return E_NOTIMPL; }

STDMETHODIMP CCategoryListControl::Configure(LONG flags) {
    m_flags = flags;
    return S_OK;
}

// ---- names and refreshing

void CCategoryListControl::Reload() {
    switch (m_source) {
        case Source::Catalogue:
            m_names = LoadCatalogueNames();
            break;
        case Source::Document:
            m_names = LoadDocumentNames(m_document);
            break;
        case Source::None:
            m_names.clear();
            break;
    }
    m_namesStale = false;
    m_window.Fill(m_names);
}

void CCategoryListControl::OnRefreshDue() noexcept {
    try {
        Reload();
    } catch (...) {
        // Out of memory: the list keeps showing what it had.
    }
}

// The store announces inside its own call, often in the middle of a page's
// write; the list reloads later, from the message queue, rather than calling
// back into the store from there.
// An announcement without a path concerns every document.
void CCategoryListControl::OnDocumentUpdated(const wchar_t* path) noexcept {
    if (m_source != Source::Document) return;
    try {
        if (!IsEmptyText(path) &&
            ::CompareStringOrdinal(FullPath(path).c_str(), -1, m_documentKey.c_str(), -1, TRUE) !=
                CSTR_EQUAL) {
            return;
        }
    } catch (...) {
        // Out of memory while comparing: refreshing once too often is harmless.
    }
    if (m_window.Handle()) {
        m_window.RequestRefresh();
    } else {
        m_namesStale = true;
    }
}

}  // namespace zrvcatlist
