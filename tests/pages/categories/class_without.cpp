#include "class_without.h"

namespace zrvcattest {

ClassWithout::ClassWithout(REFCLSID clsid, REFIID refused) : m_refused(refused) {
    if (FAILED(::CoGetClassObject(clsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                  reinterpret_cast<void**>(&m_server)))) {
        m_server = nullptr;
        return;
    }
    // Registered class objects come before the registry for this process.
    if (FAILED(::CoRegisterClassObject(clsid, this, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                       &m_cookie))) {
        m_cookie = 0;
    }
}

ClassWithout::~ClassWithout() {
    if (m_cookie) ::CoRevokeClassObject(m_cookie);
    if (m_server) m_server->Release();
}

STDMETHODIMP ClassWithout::QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IClassFactory) {
        *object = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP ClassWithout::CreateInstance(IUnknown* outer, REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (iid == m_refused) return E_NOINTERFACE;
    return m_server->CreateInstance(outer, iid, object);
}

}  // namespace zrvcattest
