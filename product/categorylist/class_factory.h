#pragma once
// The server's one class object. It lives as long as the DLL; only
// LockServer keeps the DLL loaded on its behalf, as hosts expect.

#include <windows.h>
#include <unknwn.h>

namespace zrvcatlist {

using ObjectCreator = HRESULT (*)(IUnknown* outer, REFIID iid, void** object);

class CClassFactory final : public IClassFactory {
  public:
    explicit constexpr CClassFactory(ObjectCreator creator) noexcept : m_creator(creator) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
    STDMETHODIMP LockServer(BOOL lock) override;

  private:
    ObjectCreator m_creator;
};

}  // namespace zrvcatlist
