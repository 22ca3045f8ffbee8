#pragma once
// The BSTR owner. Texts handed to the product's components are made for one
// call and freed right after it through one of these.
//
// Out parameters follow one rule: the caller passes the address of a null
// BSTR (put() frees any old text first), a null result counts as the empty
// text, and the caller frees what comes back.
//
// Making a text answers E_OUTOFMEMORY when the system has no memory for it,
// and leaves the owner as it was; nothing here raises an exception.

#include <windows.h>
#include <oleauto.h>

class CString;

// Single owner of a BSTR. Moved, never copied: a copy needs memory, which
// Assign and CopyTo ask for where a failure can be answered.
class CComBSTR {
  public:
    CComBSTR() noexcept = default;
    CComBSTR(const CComBSTR&) = delete;
    CComBSTR& operator=(const CComBSTR&) = delete;
    CComBSTR(CComBSTR&& other) noexcept;
    CComBSTR& operator=(CComBSTR&& other) noexcept;
    ~CComBSTR();

    // A null pointer gives a null BSTR; an empty text an empty one. The text
    // may be this object's own.
    [[nodiscard]] HRESULT Assign(const wchar_t* text) noexcept;
    // Exactly `length` characters of text; a null text gives that many NULs,
    // ready to serve as a buffer. A negative length answers E_INVALIDARG.
    [[nodiscard]] HRESULT Assign(const wchar_t* text, int length) noexcept;
    // Always a BSTR, empty for the empty string.
    [[nodiscard]] HRESULT Assign(const CString& text) noexcept;
    // The other's text whole, embedded NULs included; null stays null.
    [[nodiscard]] HRESULT Assign(const CComBSTR& other) noexcept;

    operator BSTR() const noexcept { return m_str; }
    BSTR get() const noexcept { return m_str; }
    bool operator!() const noexcept { return m_str == nullptr; }
    unsigned int Length() const noexcept { return ::SysStringLen(m_str); }

    // Frees the current text and hands out the address for an out parameter.
    BSTR* put() noexcept;
    // Takes ownership of `text`, freeing the current one.
    void Attach(BSTR text) noexcept;
    // Gives up ownership; the caller frees the result.
    BSTR Detach() noexcept;
    // A fresh copy into *copy, which the caller frees; null when this is null.
    [[nodiscard]] HRESULT CopyTo(BSTR* copy) const noexcept;
    void Empty() noexcept;

  private:
    BSTR m_str = nullptr;
};
