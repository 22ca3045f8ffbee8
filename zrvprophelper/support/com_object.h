#pragma once
// What every COM object of the module and the product's servers shares: a
// table-driven QueryInterface, IUnknown for objects that refuse aggregation,
// and IDispatch for interfaces that are called through their vtables only.

#include <windows.h>
#include <unknwn.h>
#include <oaidl.h>

#include <array>
#include <cstddef>
#include <iterator>

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
template <typename Table>
HRESULT QueryFromTable(const Table& table, REFIID iid, void** object) noexcept {
    if (!object) return E_POINTER;
    *object = nullptr;
    IUnknown* found = nullptr;
    if (iid == IID_IUnknown) {
        found = std::begin(table)->pointer;
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

// An interface table an object can return: the row count is that of the
// rows given, so that no empty row is ever searched.
template <std::size_t N>
constexpr std::array<QiEntry, N> QiTable(const QiEntry (&rows)[N]) noexcept {
    std::array<QiEntry, N> table{};
    for (std::size_t i = 0; i < N; ++i) table[i] = rows[i];
    return table;
}

// A server lock for objects whose server counts them some other way, or not
// at all.
struct NoServerLock {};

// IUnknown for an object that refuses aggregation. The object is born with
// one reference, its creator's, and is deleted when the last goes. For as
// long as it lives it holds one ServerLock (default constructed first,
// destroyed last), its server's rule for keeping the image loaded.
//
// Derived answers queries through InterfaceTable(), whose first row is its
// identity, and declares `friend ComObject;` when that function or its
// destructor is private.
template <typename Derived, typename ServerLock, typename... Interfaces>
class ComObject : public Interfaces... {
  public:
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        return QueryFromTable(static_cast<Derived*>(this)->InterfaceTable(), iid, object);
    }
    STDMETHODIMP_(ULONG) AddRef() override {
        return static_cast<ULONG>(::InterlockedIncrement(&m_refs));
    }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG refs = ::InterlockedDecrement(&m_refs);
        if (refs == 0) delete static_cast<Derived*>(this);
        return static_cast<ULONG>(refs);
    }

  protected:
    ComObject() noexcept = default;
    ~ComObject() = default;

  private:
    ServerLock m_serverLock;
    volatile LONG m_refs = 1;
};

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
