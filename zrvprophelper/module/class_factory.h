#pragma once
// The one generic class object of the module, driven by the object map's
// creator functions.

#include <windows.h>
#include <unknwn.h>

// Creates an object of one class: plain when outer is null, aggregated
// otherwise (the caller has already checked that iid is IUnknown then).
using ObjectCreator = HRESULT (*)(IUnknown* outer, REFIID iid, void** object);

class CZRVClassFactory final : public IClassFactory {
  public:
    // Born with the one reference that the object map's slot keeps.
    static CZRVClassFactory* Create(ObjectCreator creator) noexcept;

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
    STDMETHODIMP LockServer(BOOL lock) override;

  private:
    explicit CZRVClassFactory(ObjectCreator creator) noexcept;
    ~CZRVClassFactory();

    volatile LONG m_refs = 1;
    CRITICAL_SECTION m_lock{};
    ObjectCreator m_creator;
};
