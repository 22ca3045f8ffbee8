#pragma once
// The category list ActiveX control: a list of category names, either the
// product's whole catalogue or one document's categories, from which the
// user selects.
//
// Hosts drive it as an in-place activated, windowed control. The host's
// client site is kept from SetClientSite until it is replaced or cleared:
// control hosts that keep no reference of their own on the site (the
// platform's "AtlAxWin" host among them) rely on that to stay alive. The
// reference cycle between host and control ends when the host closes the
// control and clears its site, which such hosts do when their window goes.

#include <windows.h>
#include <ocidl.h>
#include <oleidl.h>

#include <string>
#include <vector>

#include "categorylist/category_enum.h"
#include "categorylist/list_window.h"
#include "categorylist/server.h"
#include "categorylist/store_updates.h"
#include "components/component_ids.h"
#include "support/com_object.h"
#include "support/com_ptr.h"

namespace zrvcatlist {

class CCategoryListControl final
    : public zrv::ComObject<CCategoryListControl, ServerLock, IOleObject, IOleInPlaceObject,
                            IOleInPlaceActiveObject, IPersistStreamInit, IOleControl,
                            zrv::DispatchWithoutTypeInfo<ICategoryList>>,
      private CategoryListWindow::Owner,
      private DocumentUpdateSink {
  public:
    static HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) noexcept;

    // IOleObject
    STDMETHODIMP SetClientSite(IOleClientSite* site) override;
    STDMETHODIMP GetClientSite(IOleClientSite** site) override;
    STDMETHODIMP SetHostNames(LPCOLESTR containerApp, LPCOLESTR containerObject) override;
    STDMETHODIMP Close(DWORD saveOption) override;
    STDMETHODIMP SetMoniker(DWORD which, IMoniker* moniker) override;
    STDMETHODIMP GetMoniker(DWORD assign, DWORD which, IMoniker** moniker) override;
    STDMETHODIMP InitFromData(IDataObject* data, BOOL creation, DWORD reserved) override;
    STDMETHODIMP GetClipboardData(DWORD reserved, IDataObject** data) override;
    STDMETHODIMP DoVerb(LONG verb, LPMSG message, IOleClientSite* activeSite, LONG index,
                        HWND parent, LPCRECT position) override;
    STDMETHODIMP EnumVerbs(IEnumOLEVERB** verbs) override;
    STDMETHODIMP Update() override;
    STDMETHODIMP IsUpToDate() override;
    STDMETHODIMP GetUserClassID(CLSID* clsid) override;
    STDMETHODIMP GetUserType(DWORD form, LPOLESTR* userType) override;
    STDMETHODIMP SetExtent(DWORD aspect, SIZEL* size) override;
    STDMETHODIMP GetExtent(DWORD aspect, SIZEL* size) override;
    STDMETHODIMP Advise(IAdviseSink* sink, DWORD* connection) override;
    STDMETHODIMP Unadvise(DWORD connection) override;
    STDMETHODIMP EnumAdvise(IEnumSTATDATA** advise) override;
    STDMETHODIMP GetMiscStatus(DWORD aspect, DWORD* status) override;
    STDMETHODIMP SetColorScheme(LOGPALETTE* palette) override;

    // IOleWindow, for both in-place interfaces
    STDMETHODIMP GetWindow(HWND* window) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL enterMode) override;

    // IOleInPlaceObject
    STDMETHODIMP InPlaceDeactivate() override;
    STDMETHODIMP UIDeactivate() override;
    STDMETHODIMP SetObjectRects(LPCRECT position, LPCRECT clip) override;
    STDMETHODIMP ReactivateAndUndo() override;

    // IOleInPlaceActiveObject
    STDMETHODIMP TranslateAccelerator(LPMSG message) override;
    STDMETHODIMP OnFrameWindowActivate(BOOL activate) override;
    STDMETHODIMP OnDocWindowActivate(BOOL activate) override;
    STDMETHODIMP ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window, BOOL frame) override;
    STDMETHODIMP EnableModeless(BOOL enable) override;

    // IPersistStreamInit: the control has no persistent state.
    STDMETHODIMP GetClassID(CLSID* clsid) override;
    STDMETHODIMP IsDirty() override;
    STDMETHODIMP Load(LPSTREAM stream) override;
    STDMETHODIMP Save(LPSTREAM stream, BOOL clearDirty) override;
    STDMETHODIMP GetSizeMax(ULARGE_INTEGER* size) override;
    STDMETHODIMP InitNew() override;

    // IOleControl
    STDMETHODIMP GetControlInfo(CONTROLINFO* info) override;
    STDMETHODIMP OnMnemonic(MSG* message) override;
    STDMETHODIMP OnAmbientPropertyChange(DISPID id) override;
    STDMETHODIMP FreezeEvents(BOOL freeze) override;

    // ICategoryList, called through its vtable only
    // ICategoryList
    STDMETHODIMP Reserved7() override;
    STDMETHODIMP Reserved8() override;
    // Null or empty: the catalogue. A path: that document's categories, kept
    // up to date with what the store announces for it.
    STDMETHODIMP SetDocument(BSTR path) override;
    STDMETHODIMP Reserved10() override;
    // The enumerator stays owned by the control and is not AddRef'd for the
    // caller, who may use it without releasing it. It stays valid at least
    // until the next GetSelection or the control's end (see category_enum.h).
    STDMETHODIMP GetSelection(ICategoryEnum** selection) override;
    STDMETHODIMP Reserved12() override;
    // No flag changes anything yet; 0 is the default appearance.
    STDMETHODIMP Configure(LONG flags) override;

  private:
    enum class Source { None, Catalogue, Document };

    friend ComObject;
    CCategoryListControl() noexcept;
    ~CCategoryListControl();

    auto InterfaceTable() noexcept {
        return zrv::QiTable({
            {&IID_IOleObject, static_cast<IOleObject*>(this)},
            {&IID_IOleWindow, static_cast<IOleInPlaceObject*>(this)},
            {&IID_IOleInPlaceObject, static_cast<IOleInPlaceObject*>(this)},
            {&IID_IOleInPlaceActiveObject, static_cast<IOleInPlaceActiveObject*>(this)},
            {&IID_IPersist, static_cast<IPersistStreamInit*>(this)},
            {&IID_IPersistStreamInit, static_cast<IPersistStreamInit*>(this)},
            {&IID_IOleControl, static_cast<IOleControl*>(this)},
            {&IID_IDispatch, static_cast<ICategoryList*>(this)},
            {&IID_ICategoryList, static_cast<ICategoryList*>(this)},
        });
    }

    HRESULT ActivateInPlace(IOleClientSite* activeSite, HWND parent, LPCRECT position);
    void Reload();

    void OnRefreshDue() noexcept override;
    void OnDocumentUpdated(const wchar_t* path) noexcept override;

    zrv::com_ptr<IOleClientSite> m_clientSite;
    zrv::com_ptr<IOleInPlaceSite> m_inPlaceSite;  // while in-place active
    zrv::com_ptr<IOleAdviseHolder> m_adviseHolder;
    SIZEL m_extent;
    CategoryListWindow m_window{this};

    Source m_source = Source::None;
    std::wstring m_document;
    std::wstring m_documentKey;  // full path, for matching announcements
    std::vector<std::wstring> m_names;
    bool m_namesStale = false;  // the store changed them while there was no window
    LONG m_flags = 0;
    CCategoryEnum* m_selection = nullptr;  // owned; see GetSelection
    StoreUpdateSubscription m_updates;
};

}  // namespace zrvcatlist
