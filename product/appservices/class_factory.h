#pragma once
// The class object of AppServices. It lives as long as the image: it is a
// static object and its reference count only decides whether references
// keep the server locked.

#include <windows.h>
#include <unknwn.h>

namespace appsvc {

class CAppServicesFactory final : public IClassFactory {
  public:
    // In the DLL every client reference on the class object locks the server,
    // so DllCanUnloadNow answers S_FALSE while one is held. The local server
    // hands the object to CoRegisterClassObject, whose reference must not keep
    // the process running: there references lock nothing.
    explicit constexpr CAppServicesFactory(bool referencesLockServer) noexcept
        : m_referencesLockServer(referencesLockServer) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
    STDMETHODIMP LockServer(BOOL lock) override;

  private:
    const bool m_referencesLockServer;
};

}  // namespace appsvc
