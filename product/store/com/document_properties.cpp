#include "document_properties.h"

#include <new>

#include "store/com/update_listeners.h"
#include "store/core/store_paths.h"
#include "support/hresult.h"

namespace zrvstore::server {

HRESULT DocumentProperties::Create(REFIID iid, void** object) try {
    auto* properties = new (std::nothrow) DocumentProperties();
    ZRV_RETURN_IF_NULL_ALLOC(properties);
    std::wstring storeFile;
    if (SUCCEEDED(ResolveStoreFile(storeFile)))
        properties->m_journal = std::make_unique<StoreJournal>(storeFile);
    const HRESULT hr = properties->QueryInterface(iid, object);
    properties->Release();
    return hr;
}
ZRV_CATCH_RETURN()

STDMETHODIMP DocumentProperties::UpdateDocument(BSTR path) try {
    if (m_journal) {
        std::wstring normalized;
        if (FAILED(NormalizeDocumentPath(path, normalized))) normalized = path ? path : L"";
        m_journal->Record(L"UpdateDocument", normalized);
    }
    if (!path || !*path) return E_INVALIDARG;
    NotifyUpdateListeners(path);
    return S_OK;
}
ZRV_CATCH_RETURN()

STDMETHODIMP DocumentProperties::Advise(IDocumentUpdateListener* listener, DWORD* cookie) {
    return AdviseUpdateListener(listener, cookie);
}

STDMETHODIMP DocumentProperties::Unadvise(DWORD cookie) { return UnadviseUpdateListener(cookie); }

}  // namespace zrvstore::server
