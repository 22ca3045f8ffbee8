#include "bstr.h"

#include <cwchar>
#include <utility>

#include "support/cstring.h"

namespace {

// Null when the system has no memory for it.
BSTR Allocate(const wchar_t* text, UINT length) noexcept {
    return ::SysAllocStringLen(text, length);
}

}  // namespace

CComBSTR::CComBSTR(CComBSTR&& other) noexcept : m_str(other.Detach()) {}

CComBSTR& CComBSTR::operator=(CComBSTR&& other) noexcept {
    if (this != &other) Attach(other.Detach());
    return *this;
}

CComBSTR::~CComBSTR() { ::SysFreeString(m_str); }

HRESULT CComBSTR::Assign(const wchar_t* text) noexcept {
    if (!text) {
        Empty();
        return S_OK;
    }
    // Made before the old text goes: the text may be this object's own.
    BSTR fresh = Allocate(text, static_cast<UINT>(std::wcslen(text)));
    if (!fresh) return E_OUTOFMEMORY;
    Attach(fresh);
    return S_OK;
}

HRESULT CComBSTR::Assign(const wchar_t* text, int length) noexcept {
    if (length < 0) return E_INVALIDARG;
    BSTR fresh = Allocate(text, static_cast<UINT>(length));
    if (!fresh) return E_OUTOFMEMORY;
    // The system leaves a BSTR made without text uninitialised.
    if (!text) std::wmemset(fresh, L'\0', length);
    Attach(fresh);
    return S_OK;
}

HRESULT CComBSTR::Assign(const CString& text) noexcept {
    BSTR fresh = Allocate(text.GetString(), static_cast<UINT>(text.GetLength()));
    if (!fresh) return E_OUTOFMEMORY;
    Attach(fresh);
    return S_OK;
}

HRESULT CComBSTR::Assign(const CComBSTR& other) noexcept {
    if (this == &other) return S_OK;
    BSTR copy = nullptr;
    const HRESULT hr = other.CopyTo(&copy);
    if (FAILED(hr)) return hr;
    Attach(copy);
    return S_OK;
}

BSTR* CComBSTR::put() noexcept {
    Empty();
    return &m_str;
}

void CComBSTR::Attach(BSTR text) noexcept {
    if (text != m_str) ::SysFreeString(std::exchange(m_str, text));
}

BSTR CComBSTR::Detach() noexcept { return std::exchange(m_str, nullptr); }

HRESULT CComBSTR::CopyTo(BSTR* copy) const noexcept {
    if (!copy) return E_POINTER;
    *copy = nullptr;
    if (!m_str) return S_OK;
    *copy = Allocate(m_str, ::SysStringLen(m_str));
    return *copy ? S_OK : E_OUTOFMEMORY;
}

void CComBSTR::Empty() noexcept { ::SysFreeString(std::exchange(m_str, nullptr)); }
