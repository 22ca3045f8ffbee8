#pragma once
// The class object of each class: static, living as long as the DLL; a
// client's reference on it locks the module.

#include <windows.h>
#include <unknwn.h>

namespace zrvstore::server {

using ObjectCreator = HRESULT (*)(REFIID iid, void** object);

class ClassFactory final : public IClassFactory {
  public:
    explicit constexpr ClassFactory(ObjectCreator creator) noexcept : m_creator(creator) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
    STDMETHODIMP LockServer(BOOL lock) override;

  private:
    ObjectCreator m_creator;
};

}  // namespace zrvstore::server
