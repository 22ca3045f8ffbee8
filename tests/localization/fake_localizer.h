#pragma once
// A localizer that records what it is asked and answers as a test says.
// Registered in the map for the calling thread, it is what the module finds.

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "components/component_ids.h"

namespace zrvtest {

struct FakeAnswer {
    HRESULT hr = E_FAIL;
    bool isNull = false;
    std::wstring text;
};

class FakeLocalizer final : public IAppLocalizer {
  public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                        UINT*) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP GetModuleString(BSTR module, BSTR id, BSTR defaultText, BSTR* text) override;
    STDMETHODIMP GetDialogString(BSTR module, BSTR dialogId, BSTR key, BSTR defaultText,
                                 BSTR* text) override;

    // Answers keyed by "<dialog id>|<key>" or "string|<id>"; others fail.
    std::map<std::wstring, FakeAnswer> answers;
    // "module|dialog|key|default" or "module|string|id|default" per call.
    std::vector<std::wstring> calls;
    ULONG refs = 1;
};

// Puts the fake into the map as the calling thread's localizer, registered by
// this program's copy of the module, and takes it out again when it goes.
class FakeRegistration {
  public:
    explicit FakeRegistration(FakeLocalizer& fake);
    ~FakeRegistration();
    bool ok() const { return m_slot >= 0; }

  private:
    LONG m_slot = -1;
};

}  // namespace zrvtest
