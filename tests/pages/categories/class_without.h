#pragma once
// While a ClassWithout lives, this process's requests to one class for one
// interface fail with E_NOINTERFACE; every other request reaches the
// registered server as before.

#include <windows.h>
#include <objbase.h>

namespace zrvcattest {

class ClassWithout final : public IClassFactory {
  public:
    ClassWithout(REFCLSID clsid, REFIID refused);
    ~ClassWithout();
    ClassWithout(const ClassWithout&) = delete;
    ClassWithout& operator=(const ClassWithout&) = delete;

    bool ok() const { return m_cookie != 0; }

    // Lives on the test's stack; references are not counted.
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }

  private:
    IID m_refused;
    IClassFactory* m_server = nullptr;
    DWORD m_cookie = 0;
};

}  // namespace zrvcattest
