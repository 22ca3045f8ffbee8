#include "class_factory.h"

#include <new>

#include "support/com_object.h"

namespace zrv {

ClassFactory* ClassFactory::New(ObjectCreator creator, ServerLockFunctions server,
                                Aggregation aggregation,
                                ClientReferences clientReferences) noexcept {
    return new (std::nothrow) ClassFactory(creator, server, aggregation, clientReferences, true);
}

STDMETHODIMP ClassFactory::QueryInterface(REFIID iid, void** object) {
    const QiEntry table[] = {{&IID_IClassFactory, static_cast<IClassFactory*>(this)}};
    return QueryFromTable(table, iid, object);
}

// Every reference a client takes beyond the owner's locks the server, once,
// however many the client takes. The lock is taken before the count moves
// and kept only by the first client reference: locking after the increment
// would let another thread take a second reference and be told the server
// can go before the first reference's lock is in place.
STDMETHODIMP_(ULONG) ClassFactory::AddRef() {
    const bool locks = m_clientReferences == ClientReferences::LockServer;
    if (locks) m_server.lock();
    const LONG refs = ::InterlockedIncrement(&m_refs);
    if (locks && refs != 2) m_server.unlock();
    return static_cast<ULONG>(refs);
}

STDMETHODIMP_(ULONG) ClassFactory::Release() {
    const LONG refs = ::InterlockedDecrement(&m_refs);
    if (refs == 1 && m_clientReferences == ClientReferences::LockServer) m_server.unlock();
    if (refs == 0 && m_onHeap) delete this;
    return static_cast<ULONG>(refs);
}

STDMETHODIMP ClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer && (m_aggregation == Aggregation::Refused || iid != IID_IUnknown))
        return CLASS_E_NOAGGREGATION;
    return m_creator(outer, iid, object);
}

STDMETHODIMP ClassFactory::LockServer(BOOL lock) {
    volatile LONG* const clientLocks = m_server.clientLocks ? m_server.clientLocks : &m_clientLocks;
    if (lock) {
        m_server.lock();
        ::InterlockedIncrement(clientLocks);
        return S_OK;
    }
    // Only a lock a client took may be returned: the server's count is shared
    // with live objects, and one surplus unlock would let the server unload
    // while they are still in use. A client's surplus is its own fault, so it
    // is not reported as one.
    for (LONG held = *clientLocks; held > 0; held = *clientLocks) {
        if (::InterlockedCompareExchange(clientLocks, held - 1, held) == held) {
            m_server.unlock();
            break;
        }
    }
    return S_OK;
}

}  // namespace zrv
