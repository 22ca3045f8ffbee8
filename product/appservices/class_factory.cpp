#include "class_factory.h"

#include "app_services.h"
#include "server_state.h"

namespace appsvc {

STDMETHODIMP CAppServicesFactory::QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (iid != IID_IUnknown && iid != IID_IClassFactory) return E_NOINTERFACE;
    *object = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CAppServicesFactory::AddRef() {
    if (m_referencesLockServer) appsvc::LockServer();
    return 2;
}

STDMETHODIMP_(ULONG) CAppServicesFactory::Release() {
    if (m_referencesLockServer) appsvc::UnlockServer();
    return 1;
}

STDMETHODIMP CAppServicesFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return CAppServices::Create(iid, object);
}

STDMETHODIMP CAppServicesFactory::LockServer(BOOL lock) {
    if (lock)
        appsvc::LockServer();
    else
        appsvc::UnlockServer();
    return S_OK;
}

}  // namespace appsvc
