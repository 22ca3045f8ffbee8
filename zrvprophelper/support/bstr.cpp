#include "bstr.h"

#include <cwchar>
#include <new>
#include <utility>

#include "support/cstring.h"
#include "support/exceptions.h"

namespace {

BSTR AllocOrThrow(const wchar_t* text, UINT length) {
    BSTR result = ::SysAllocStringLen(text, length);
    if (!result) AtlThrow(E_OUTOFMEMORY);
    return result;
}

}  // namespace

CComBSTR::CComBSTR(const wchar_t* text) {
    if (text) m_str = AllocOrThrow(text, static_cast<UINT>(std::wcslen(text)));
}

CComBSTR::CComBSTR(int length, const wchar_t* text) {
    if (length < 0) AtlThrow(E_INVALIDARG);
    m_str = AllocOrThrow(text, static_cast<UINT>(length));
    // The system leaves a BSTR made without text uninitialised.
    if (!text) std::wmemset(m_str, L'\0', length);
}

CComBSTR::CComBSTR(const CString& text)
    : m_str(AllocOrThrow(text.GetString(), static_cast<UINT>(text.GetLength()))) {}

CComBSTR::CComBSTR(const CComBSTR& other) : m_str(other.Copy()) {}

CComBSTR::CComBSTR(CComBSTR&& other) noexcept : m_str(other.Detach()) {}

CComBSTR& CComBSTR::operator=(const CComBSTR& other) {
    if (this != &other) Attach(other.Copy());
    return *this;
}

CComBSTR& CComBSTR::operator=(CComBSTR&& other) noexcept {
    if (this != &other) Attach(other.Detach());
    return *this;
}

CComBSTR& CComBSTR::operator=(const wchar_t* text) {
    // Built first: the text may be this object's own.
    CComBSTR fresh(text);
    Attach(fresh.Detach());
    return *this;
}

CComBSTR::~CComBSTR() { ::SysFreeString(m_str); }

BSTR* CComBSTR::put() noexcept {
    Empty();
    return &m_str;
}

void CComBSTR::Attach(BSTR text) noexcept {
    if (text != m_str) ::SysFreeString(std::exchange(m_str, text));
}

BSTR CComBSTR::Detach() noexcept { return std::exchange(m_str, nullptr); }

BSTR CComBSTR::Copy() const {
    if (!m_str) return nullptr;
    return AllocOrThrow(m_str, ::SysStringLen(m_str));
}

void CComBSTR::Empty() noexcept { ::SysFreeString(std::exchange(m_str, nullptr)); }
