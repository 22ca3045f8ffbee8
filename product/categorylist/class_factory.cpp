#include "class_factory.h"

#include "server.h"

namespace zrvcatlist {

STDMETHODIMP CClassFactory::QueryInterface(REFIID iid, void** object) {
    static const InterfaceEntry kInterfaces[] = {
        {&IID_IClassFactory, InterfaceOffset<IClassFactory, CClassFactory>()},
        {nullptr, 0},
    };
    return QueryInterfaceFromTable(this, kInterfaces, iid, object);
}

STDMETHODIMP CClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return m_creator(outer, iid, object);
}

STDMETHODIMP CClassFactory::LockServer(BOOL lock) {
    if (lock) {
        zrvcatlist::LockServer();
    } else {
        zrvcatlist::UnlockServer();
    }
    return S_OK;
}

}  // namespace zrvcatlist
