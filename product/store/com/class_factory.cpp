#include "class_factory.h"

#include "qi_table.h"
#include "server_module.h"

namespace zrvstore::server {

STDMETHODIMP ClassFactory::QueryInterface(REFIID iid, void** object) {
    const QiEntry table[] = {{&IID_IClassFactory, static_cast<IClassFactory*>(this)}};
    return QueryFromTable(table, iid, object);
}

STDMETHODIMP_(ULONG) ClassFactory::AddRef() {
    LockModule();
    return 2;
}

STDMETHODIMP_(ULONG) ClassFactory::Release() {
    UnlockModule();
    return 1;
}

STDMETHODIMP ClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return m_creator(iid, object);
}

STDMETHODIMP ClassFactory::LockServer(BOOL lock) {
    if (lock)
        LockModule();
    else
        UnlockModule();
    return S_OK;
}

}  // namespace zrvstore::server
