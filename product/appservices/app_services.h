#pragma once
// The AppServices object: localized texts, help display and the editable
// document types, behind three dual-style interfaces. The same class serves
// in the DLL and in the local server.

#include <windows.h>

#include <memory>

#include "appservices/translation_catalog.h"
#include "components/component_ids.h"
#include "support/com_object.h"

namespace zrvappsvc {

// Returned by GetModuleString and GetDialogString when the selected catalog
// has no entry for the request: the caller keeps its default text, and the
// out text stays null. Distinct from E_FAIL so that a caller or a trace can
// tell "not translated" from a broken server.
constexpr HRESULT APPSVC_E_NOTRANSLATION =
    MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, 0xA101);  // 0x8004A101

// The three interfaces are called through their vtables only. An object
// counts itself (server_state.h) instead of holding a server lock: whether
// it counts is chosen when it is made.
class CAppServices final
    : public zrv::ComObject<
          CAppServices, zrv::NoServerLock, zrv::DispatchWithoutTypeInfo<IAppLocalizer>,
          zrv::DispatchWithoutTypeInfo<IAppHelp>, zrv::DispatchWithoutTypeInfo<IAppDocumentTypes>> {
  public:
    // Reads the language setting and the catalogs now: an object answers
    // from the catalog that was selected when it was made.
    static HRESULT Create(REFIID iid, void** object) noexcept;
    // The same, but the object neither counts as alive nor keeps the server
    // running: the local server holds one for its whole life
    // (interface_pins.h).
    static HRESULT CreateUncounted(REFIID iid, void** object) noexcept;

    // IAppLocalizer. S_OK with the translation (which may be empty or null);
    // APPSVC_E_NOTRANSLATION when there is none; E_POINTER without an out
    // parameter. The default text is not used: the caller keeps it.
    STDMETHODIMP GetModuleString(BSTR moduleStem, BSTR stringId, BSTR defaultText,
                                 BSTR* text) override;
    STDMETHODIMP GetDialogString(BSTR moduleStem, BSTR dialogId, BSTR key, BSTR defaultText,
                                 BSTR* text) override;

    // IAppHelp. The flags are reserved.
    STDMETHODIMP ShowHelp(BSTR helpFile, BSTR topic, HWND owner, long flags) override;

    // IAppDocumentTypes
    STDMETHODIMP GetDocumentExtensions(BSTR* extensions) override;

    // Placeholders of both IAppHelp and IAppDocumentTypes (slots 7 to 12)
    // and of IAppDocumentTypes alone (13 to 23): E_NOTIMPL.
    STDMETHODIMP Reserved7() override;
    STDMETHODIMP Reserved8() override;
    STDMETHODIMP Reserved9() override;
    STDMETHODIMP Reserved10() override;
    STDMETHODIMP Reserved11() override;
    STDMETHODIMP Reserved12() override;
    STDMETHODIMP Reserved13() override;
    STDMETHODIMP Reserved14() override;
    STDMETHODIMP Reserved15() override;
    STDMETHODIMP Reserved16() override;
    STDMETHODIMP Reserved17() override;
    STDMETHODIMP Reserved18() override;
    STDMETHODIMP Reserved19() override;
    STDMETHODIMP Reserved20() override;
    STDMETHODIMP Reserved21() override;
    STDMETHODIMP Reserved22() override;
    STDMETHODIMP Reserved23() override;

  private:
    friend ComObject;
    CAppServices(std::shared_ptr<const TranslationCatalog> catalog, bool counted) noexcept;
    static HRESULT Make(bool counted, REFIID iid, void** object) noexcept;
    ~CAppServices();

    auto InterfaceTable() noexcept {
        return zrv::QiTable({
            {&IID_IAppLocalizer, static_cast<IAppLocalizer*>(this)},
            {&IID_IDispatch, static_cast<IAppLocalizer*>(this)},
            {&IID_IAppHelp, static_cast<IAppHelp*>(this)},
            {&IID_IAppDocumentTypes, static_cast<IAppDocumentTypes*>(this)},
        });
    }

    static HRESULT Answer(const Translation* translation, BSTR* text) noexcept;

    std::shared_ptr<const TranslationCatalog> m_catalog;
    const bool m_counted;
};

}  // namespace zrvappsvc
