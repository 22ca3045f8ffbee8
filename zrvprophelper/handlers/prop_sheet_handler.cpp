#include "prop_sheet_handler.h"

#include "support/com_object.h"
#include "support/hresult.h"

HRESULT CZRVPropSheetHandler::InternalQueryInterface(REFIID iid, void** object) noexcept {
    // The IShellExtInit pointer is the object's identity.
    const zrv::QiEntry table[] = {
        {&IID_IShellExtInit, static_cast<IShellExtInit*>(this)},
        {&IID_IShellPropSheetExt, static_cast<IShellPropSheetExt*>(this)},
    };
    return zrv::QueryFromTable(table, iid, object);
}

ULONG CZRVPropSheetHandler::InternalAddRef() noexcept { return ++m_refs; }

ULONG CZRVPropSheetHandler::InternalRelease() noexcept {
    const ULONG refs = --m_refs;
    if (refs == 0) delete this;
    return refs;
}

STDMETHODIMP CZRVPropSheetHandler::QueryInterface(REFIID iid, void** object) {
    return m_outer ? m_outer->QueryInterface(iid, object) : InternalQueryInterface(iid, object);
}

STDMETHODIMP_(ULONG) CZRVPropSheetHandler::AddRef() {
    return m_outer ? m_outer->AddRef() : InternalAddRef();
}

STDMETHODIMP_(ULONG) CZRVPropSheetHandler::Release() {
    return m_outer ? m_outer->Release() : InternalRelease();
}

// Each call makes a new page; a page made by an earlier call loses the
// handler's reference and goes when nothing else holds it.
STDMETHODIMP CZRVPropSheetHandler::Initialize(PCIDLIST_ABSOLUTE folder, IDataObject* data,
                                              HKEY fileType) {
    CZRVPropPage* page = NewPage();
    ZRV_RETURN_IF_NULL_ALLOC(page);
    m_page.reset(page);
    return page->Initialize(folder, data, fileType);
}

STDMETHODIMP CZRVPropSheetHandler::AddPages(LPFNSVADDPROPSHEETPAGE addPage, LPARAM param) {
    if (!m_page) return E_FAIL;
    return m_page->AddPages(addPage, param);
}

STDMETHODIMP CZRVPropSheetHandler::ReplacePage(EXPPS pageId, LPFNSVADDPROPSHEETPAGE replacePage,
                                               LPARAM param) {
    if (!m_page) return E_FAIL;
    return m_page->ReplacePage(pageId, replacePage, param);
}
