#include "document_properties.h"

#include <new>

#include "store/com/update_listeners.h"
#include "store/core/store_paths.h"
#include "support/caught_exception.h"
#include "support/com_ptr.h"

namespace zrvstore::server {

HRESULT DocumentProperties::Create(REFIID iid, void** object) try {
    const auto properties =
        zrv::com_ptr<DocumentProperties>::attach(new (std::nothrow) DocumentProperties());
    ZRV_RETURN_IF_NULL_ALLOC(properties.get());
    std::wstring storeFile;
    if (SUCCEEDED(ResolveStoreFile(storeFile)))
        properties->m_journal = std::make_unique<StoreJournal>(storeFile);
    return properties->QueryInterface(iid, object);
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
