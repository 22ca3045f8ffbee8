#pragma once
// The BSTR owner. Texts handed to the product's components are made for one
// call and freed right after it through one of these.
//
// Out parameters follow one rule: the caller passes the address of a null
// BSTR (put() frees any old text first), a null result counts as the empty
// text, and the caller frees what comes back.

#include <windows.h>
#include <oleauto.h>

class CString;

// Single owner of a BSTR. Allocation failure raises CAtlException with
// E_OUTOFMEMORY.
class CComBSTR {
  public:
    CComBSTR() noexcept = default;
    // A null pointer gives a null BSTR; an empty text an empty one.
    CComBSTR(const wchar_t* text);
    // Exactly `length` characters of text; a null text gives that many NULs,
    // ready to serve as a buffer. A negative length raises E_INVALIDARG.
    CComBSTR(int length, const wchar_t* text);
    explicit CComBSTR(int length) : CComBSTR(length, nullptr) {}
    // Always a BSTR, empty for the empty string.
    CComBSTR(const CString& text);
    CComBSTR(const CComBSTR& other);
    CComBSTR(CComBSTR&& other) noexcept;
    CComBSTR& operator=(const CComBSTR& other);
    CComBSTR& operator=(CComBSTR&& other) noexcept;
    CComBSTR& operator=(const wchar_t* text);
    ~CComBSTR();

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
    // A fresh copy the caller frees; null when this is null.
    BSTR Copy() const;
    void Empty() noexcept;

  private:
    BSTR m_str = nullptr;
};
