#include "app_services.h"

#include <new>
#include <string_view>

#include "appservices/document_types.h"
#include "appservices/help_request.h"
#include "appservices/server_state.h"
#include "support/caught_exception.h"
#include "support/com_ptr.h"

namespace zrvappsvc {

namespace {

std::wstring_view View(BSTR text) {
    return text ? std::wstring_view(text, ::SysStringLen(text)) : std::wstring_view();
}

}  // namespace

HRESULT CAppServices::Create(REFIID iid, void** object) noexcept {
    return Make(/*counted=*/true, iid, object);
}

HRESULT CAppServices::CreateUncounted(REFIID iid, void** object) noexcept {
    return Make(/*counted=*/false, iid, object);
}

HRESULT CAppServices::Make(bool counted, REFIID iid, void** object) noexcept try {
    if (!object) return E_POINTER;
    *object = nullptr;
    const auto services =
        zrv::com_ptr<CAppServices>::attach(new CAppServices(LoadSelectedCatalog(), counted));
    return services->QueryInterface(iid, object);
}
ZRV_CATCH_RETURN()

CAppServices::CAppServices(std::shared_ptr<const TranslationCatalog> catalog, bool counted) noexcept
    : m_catalog(std::move(catalog)), m_counted(counted) {
    if (m_counted) ObjectCreated();
}

CAppServices::~CAppServices() {
    if (m_counted) ObjectDestroyed();
}

HRESULT CAppServices::Answer(const Translation* translation, BSTR* text) noexcept {
    if (!translation) return APPSVC_E_NOTRANSLATION;
    if (translation->isNull) return S_OK;
    *text =
        ::SysAllocStringLen(translation->text.data(), static_cast<UINT>(translation->text.size()));
    return *text ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CAppServices::GetModuleString(BSTR moduleStem, BSTR stringId, BSTR, BSTR* text) try {
    CallMade();
    if (!text) return E_POINTER;
    *text = nullptr;
    LookupMade();
    return Answer(m_catalog->FindString(View(moduleStem), View(stringId)), text);
}
ZRV_CATCH_RETURN()

STDMETHODIMP CAppServices::GetDialogString(BSTR moduleStem, BSTR dialogId, BSTR key, BSTR,
                                           BSTR* text) try {
    CallMade();
    if (!text) return E_POINTER;
    *text = nullptr;
    LookupMade();
    return Answer(m_catalog->FindDialog(View(moduleStem), View(dialogId), View(key)), text);
}
ZRV_CATCH_RETURN()

STDMETHODIMP CAppServices::ShowHelp(BSTR helpFile, BSTR topic, HWND owner, long) try {
    CallMade();
    return ShowHelpRequest(helpFile, topic, owner);
}
ZRV_CATCH_RETURN()

STDMETHODIMP CAppServices::GetDocumentExtensions(BSTR* extensions) try {
    CallMade();
    if (!extensions) return E_POINTER;
    *extensions = nullptr;
    const std::wstring list = EditableDocumentExtensions();
    *extensions = ::SysAllocStringLen(list.data(), static_cast<UINT>(list.size()));
    return *extensions ? S_OK : E_OUTOFMEMORY;
}
ZRV_CATCH_RETURN()

STDMETHODIMP CAppServices::Reserved7() { return E_NOTIMPL; }
STDMETHODIMP CAppServices::Reserved8() { return E_NOTIMPL; }
STDMETHODIMP CAppServices::Reserved9() { return E_NOTIMPL; }
STDMETHODIMP CAppServices::Reserved10() { return E_NOTIMPL; }
STDMETHODIMP CAppServices::Reserved11() { return E_NOTIMPL; }
STDMETHODIMP CAppServices::Reserved12() { return E_NOTIMPL; }
STDMETHODIMP CAppServices::Reserved13() { return E_NOTIMPL; }
STDMETHODIMP CAppServices::Reserved14() { return E_NOTIMPL; }
STDMETHODIMP CAppServices::Reserved15() { return E_NOTIMPL; }
STDMETHODIMP CAppServices::Reserved16() { return E_NOTIMPL; }
STDMETHODIMP CAppServices::Reserved17() { return E_NOTIMPL; }
STDMETHODIMP CAppServices::Reserved18() { return E_NOTIMPL; }
STDMETHODIMP CAppServices::Reserved19() { return E_NOTIMPL; }
STDMETHODIMP CAppServices::Reserved20() { return E_NOTIMPL; }
STDMETHODIMP CAppServices::Reserved21() { return E_NOTIMPL; }
STDMETHODIMP CAppServices::Reserved22() { return E_NOTIMPL; }
STDMETHODIMP CAppServices::Reserved23() { return E_NOTIMPL; }

}  // namespace zrvappsvc
