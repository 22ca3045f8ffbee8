#pragma once
// Plain and aggregated creation of handler objects.

#include <new>

#include "support/hresult.h"

// The inner, non-delegating IUnknown of an aggregated handler. It answers
// IUnknown itself and asks the handler's interface table for the rest; its
// count decides the handler's life.
template <typename H>
class CZRVAggregatedHandler final : public IUnknown {
  public:
    explicit CZRVAggregatedHandler(IUnknown* outer) noexcept { m_handler.SetOuter(outer); }

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (iid == IID_IUnknown) {
            *object = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        return m_handler.InternalQueryInterface(iid, object);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG refs = --m_refs;
        if (refs == 0) delete this;
        return refs;
    }

  private:
    ULONG m_refs = 0;
    H m_handler;
};

template <typename H>
HRESULT CreateHandler(IUnknown* outer, REFIID iid, void** object) noexcept {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) {
        if (iid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
        auto* wrapper = new (std::nothrow) CZRVAggregatedHandler<H>(outer);
        ZRV_RETURN_IF_NULL_ALLOC(wrapper);
        wrapper->AddRef();
        const HRESULT hr = wrapper->QueryInterface(iid, object);
        wrapper->Release();
        return hr;
    }
    auto* handler = new (std::nothrow) H();
    ZRV_RETURN_IF_NULL_ALLOC(handler);
    // A failed query leaves the count at 0 and this release destroys it.
    handler->InternalAddRef();
    const HRESULT hr = handler->InternalQueryInterface(iid, object);
    handler->InternalRelease();
    return hr;
}
