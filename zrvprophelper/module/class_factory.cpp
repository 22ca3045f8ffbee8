#include "class_factory.h"

#include <new>

#include "module.h"

CZRVClassFactory* CZRVClassFactory::Create(ObjectCreator creator) noexcept {
    return new (std::nothrow) CZRVClassFactory(creator);
}

CZRVClassFactory::CZRVClassFactory(ObjectCreator creator) noexcept : m_creator(creator) {
    ::InitializeCriticalSection(&m_lock);
}

CZRVClassFactory::~CZRVClassFactory() { ::DeleteCriticalSection(&m_lock); }

STDMETHODIMP CZRVClassFactory::QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (iid != IID_IUnknown && iid != IID_IClassFactory) return E_NOINTERFACE;
    *object = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
}

// The object map's own reference does not lock the module; every reference a
// client takes beyond it does, once, however many the client takes. The lock
// is taken before the count moves and kept only by the first client
// reference: locking after the increment would let another thread take a
// second reference and be told the module can go before the first
// reference's lock is in place.
STDMETHODIMP_(ULONG) CZRVClassFactory::AddRef() {
    g_module.Lock();
    const LONG refs = ::InterlockedIncrement(&m_refs);
    if (refs != 2) g_module.Unlock();
    return static_cast<ULONG>(refs);
}

STDMETHODIMP_(ULONG) CZRVClassFactory::Release() {
    const LONG refs = ::InterlockedDecrement(&m_refs);
    if (refs == 1) g_module.Unlock();
    if (refs == 0) delete this;
    return static_cast<ULONG>(refs);
}

STDMETHODIMP CZRVClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer && iid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
    return m_creator(outer, iid, object);
}

STDMETHODIMP CZRVClassFactory::LockServer(BOOL lock) {
    if (lock)
        g_module.Lock();
    else
        g_module.Unlock();
    return S_OK;
}
