#pragma once
// What every COM object of the module and the product's servers shares: a
// table-driven QueryInterface, and IDispatch for interfaces that are called
// through their vtables only.

#include <unknwn.h>
#include <oaidl.h>

#include <cstddef>

namespace zrv {

// One row of an interface table: an interface id and the pointer of the
// object that answers it. The first row is the object's identity: it also
// answers IUnknown, so that every IUnknown query yields the same pointer.
struct QiEntry {
    const IID* iid;
    IUnknown* pointer;
};

// Clears the out pointer first and takes the reference it hands out through
// the interface found, so that an aggregated object's reference goes where
// that interface sends it.
template <std::size_t N>
HRESULT QueryFromTable(const QiEntry (&table)[N], REFIID iid, void** object) noexcept {
    if (!object) return E_POINTER;
    *object = nullptr;
    IUnknown* found = nullptr;
    if (iid == IID_IUnknown) {
        found = table[0].pointer;
    } else {
        for (const QiEntry& entry : table) {
            if (*entry.iid == iid) {
                found = entry.pointer;
                break;
            }
        }
    }
    if (!found) return E_NOINTERFACE;
    found->AddRef();
    *object = found;
    return S_OK;
}

// The IDispatch part of a dual-style interface that has no type
// information: nothing can be called by name. An object with several such
// interfaces derives from one of these per interface.
template <typename Interface>
class DispatchWithoutTypeInfo : public Interface {
  public:
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (count) *count = 0;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info) *info = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                        UINT*) override {
        return E_NOTIMPL;
    }
};

}  // namespace zrv
