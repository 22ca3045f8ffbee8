#include "store_updates.h"

#include <new>

#include "categorylist/server.h"
#include "support/com_object.h"

namespace zrvcatlist {

class CUpdateListener final
    : public zrv::ComObject<CUpdateListener, ServerLock, IDocumentUpdateListener> {
  public:
    explicit CUpdateListener(DocumentUpdateSink* sink) noexcept : m_sink(sink) {}

    void Detach() noexcept { m_sink = nullptr; }

    STDMETHODIMP DocumentUpdated(BSTR path) override {
        if (m_sink) m_sink->OnDocumentUpdated(path);
        return S_OK;
    }

  private:
    friend ComObject;
    ~CUpdateListener() = default;

    auto InterfaceTable() noexcept {
        return zrv::QiTable(
            {{&IID_IDocumentUpdateListener, static_cast<IDocumentUpdateListener*>(this)}});
    }

    DocumentUpdateSink* m_sink;
};

StoreUpdateSubscription::StoreUpdateSubscription() noexcept = default;

StoreUpdateSubscription::~StoreUpdateSubscription() { Stop(); }

HRESULT StoreUpdateSubscription::Start(DocumentUpdateSink* sink) noexcept {
    if (IsActive()) return S_FALSE;
    zrv::com_ptr<IDocumentUpdateSource> source;
    HRESULT hr = ::CoCreateInstance(CLSID_DocumentProperties, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_IDocumentUpdateSource, source.put_void());
    if (FAILED(hr)) return hr;
    if (!source) return E_NOINTERFACE;
    auto listener = zrv::com_ptr<CUpdateListener>::attach(new (std::nothrow) CUpdateListener(sink));
    if (!listener) return E_OUTOFMEMORY;
    DWORD cookie = 0;
    hr = source->Advise(listener.get(), &cookie);
    if (FAILED(hr)) {
        listener->Detach();
        return hr;
    }
    m_source = std::move(source);
    m_cookie = cookie;
    m_listener = std::move(listener);
    return S_OK;
}

void StoreUpdateSubscription::Stop() noexcept {
    if (m_listener) m_listener->Detach();
    if (m_source) m_source->Unadvise(m_cookie);
    m_source.reset();
    m_listener.reset();
    m_cookie = 0;
}

}  // namespace zrvcatlist
