#pragma once
// One owner for every resource: a small unique_any-style template with one
// alias per kind of handle. put() releases the old value before handing out
// the address, so a handle can never leak through an out parameter.

#include <windows.h>
#include <objidl.h>
#include <oleauto.h>
#include <propidl.h>
#include <utility>

namespace zrv {

// Traits name the handle type, its "no handle" value and how to close it.
template <typename Traits>
class unique_any {
  public:
    using pointer = typename Traits::type;

    unique_any() noexcept = default;
    explicit unique_any(pointer value) noexcept : m_value(value) {}
    unique_any(const unique_any&) = delete;
    unique_any& operator=(const unique_any&) = delete;
    unique_any(unique_any&& other) noexcept : m_value(other.release()) {}
    unique_any& operator=(unique_any&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~unique_any() { reset(); }

    pointer get() const noexcept { return m_value; }
    bool is_valid() const noexcept { return m_value != Traits::invalid(); }
    explicit operator bool() const noexcept { return is_valid(); }

    void reset(pointer value = Traits::invalid()) noexcept {
        pointer old = std::exchange(m_value, value);
        if (old != Traits::invalid()) Traits::close(old);
    }
    pointer release() noexcept { return std::exchange(m_value, Traits::invalid()); }
    pointer* put() noexcept {
        reset();
        return &m_value;
    }

  private:
    pointer m_value = Traits::invalid();
};

#define ZRV_HANDLE_TRAITS(name, T, invalidValue, closeExpr)     \
    struct name {                                               \
        using type = T;                                         \
        static type invalid() noexcept { return invalidValue; } \
        static void close(type h) noexcept { closeExpr; }       \
    }

ZRV_HANDLE_TRAITS(handle_traits, HANDLE, nullptr, ::CloseHandle(h));
ZRV_HANDLE_TRAITS(hfile_traits, HANDLE, INVALID_HANDLE_VALUE, ::CloseHandle(h));
ZRV_HANDLE_TRAITS(hfind_traits, HANDLE, INVALID_HANDLE_VALUE, ::FindClose(h));
ZRV_HANDLE_TRAITS(hicon_traits, HICON, nullptr, ::DestroyIcon(h));
ZRV_HANDLE_TRAITS(hkey_traits, HKEY, nullptr, ::RegCloseKey(h));
ZRV_HANDLE_TRAITS(mapview_traits, void*, nullptr, ::UnmapViewOfFile(h));
ZRV_HANDLE_TRAITS(cotaskmem_traits, void*, nullptr, ::CoTaskMemFree(h));
ZRV_HANDLE_TRAITS(hwnd_traits, HWND, nullptr, ::DestroyWindow(h));
ZRV_HANDLE_TRAITS(hmodule_traits, HMODULE, nullptr, ::FreeLibrary(h));
ZRV_HANDLE_TRAITS(actctx_traits, HANDLE, INVALID_HANDLE_VALUE, ::ReleaseActCtx(h));
#undef ZRV_HANDLE_TRAITS

using unique_handle = unique_any<handle_traits>;
// Handles whose failure value is INVALID_HANDLE_VALUE rather than null.
using unique_hfile = unique_any<hfile_traits>;
using unique_hfind = unique_any<hfind_traits>;
using unique_actctx = unique_any<actctx_traits>;
using unique_hicon = unique_any<hicon_traits>;
using unique_hkey = unique_any<hkey_traits>;
using unique_mapview = unique_any<mapview_traits>;
using unique_cotaskmem = unique_any<cotaskmem_traits>;
using unique_hwnd = unique_any<hwnd_traits>;
using unique_hmodule = unique_any<hmodule_traits>;

// A PROPVARIANT that is cleared when it goes out of scope.
class unique_propvariant {
  public:
    unique_propvariant() noexcept { ::PropVariantInit(&m_value); }
    unique_propvariant(const unique_propvariant&) = delete;
    unique_propvariant& operator=(const unique_propvariant&) = delete;
    ~unique_propvariant() { ::PropVariantClear(&m_value); }
    PROPVARIANT* get() noexcept { return &m_value; }
    const PROPVARIANT* get() const noexcept { return &m_value; }
    PROPVARIANT* put() noexcept {
        ::PropVariantClear(&m_value);
        return &m_value;
    }

  private:
    PROPVARIANT m_value;
};

// A storage medium filled by IDataObject::GetData, given back with
// ReleaseStgMedium when it goes out of scope. put() gives back any earlier
// medium before handing out the address.
class unique_stgmedium {
  public:
    unique_stgmedium() noexcept { ::ZeroMemory(&m_value, sizeof(m_value)); }
    unique_stgmedium(const unique_stgmedium&) = delete;
    unique_stgmedium& operator=(const unique_stgmedium&) = delete;
    ~unique_stgmedium() { reset(); }
    const STGMEDIUM& get() const noexcept { return m_value; }
    STGMEDIUM* put() noexcept {
        reset();
        return &m_value;
    }
    // Forgets the medium without giving it back: what a failed GetData left
    // in it is not the caller's to release.
    void release() noexcept { ::ZeroMemory(&m_value, sizeof(m_value)); }
    // A zeroed medium (TYMED_NULL, no releasing object) gives back nothing.
    void reset() noexcept {
        ::ReleaseStgMedium(&m_value);
        ::ZeroMemory(&m_value, sizeof(m_value));
    }

  private:
    STGMEDIUM m_value;
};

// Runs a callable when the scope ends, whatever way it ends.
template <typename F>
class scope_exit {
  public:
    explicit scope_exit(F f) noexcept : m_f(std::move(f)) {}
    scope_exit(const scope_exit&) = delete;
    scope_exit& operator=(const scope_exit&) = delete;
    ~scope_exit() {
        if (m_active) m_f();
    }
    void dismiss() noexcept { m_active = false; }

  private:
    F m_f;
    bool m_active = true;
};

}  // namespace zrv
