#include "bstr.h"

#include <atomic>
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

struct bstr_t::Holder {
    std::atomic<long> refs;
    BSTR text;
};

bstr_t::Holder* bstr_t::Adopt(BSTR text) {
    Holder* holder = new (std::nothrow) Holder{{1}, text};
    if (!holder) {
        ::SysFreeString(text);
        _com_issue_error(E_OUTOFMEMORY);
    }
    return holder;
}

bstr_t::bstr_t(const wchar_t* text) {
    if (!text) return;
    BSTR copy = ::SysAllocString(text);
    if (!copy) _com_issue_error(E_OUTOFMEMORY);
    m_holder = Adopt(copy);
}

bstr_t::bstr_t(const char* text) {
    if (!text) return;
    // The count includes the terminator.
    const int count = ::MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (count <= 0) _com_issue_error(HRESULT_FROM_WIN32(::GetLastError()));
    BSTR wide = ::SysAllocStringLen(nullptr, static_cast<UINT>(count - 1));
    if (!wide) _com_issue_error(E_OUTOFMEMORY);
    if (::MultiByteToWideChar(CP_ACP, 0, text, -1, wide, count) != count) {
        const DWORD error = ::GetLastError();
        ::SysFreeString(wide);
        _com_issue_error(HRESULT_FROM_WIN32(error));
    }
    m_holder = Adopt(wide);
}

bstr_t::bstr_t(BSTR text, bool copy) {
    if (!text) return;
    if (copy) {
        text = ::SysAllocStringLen(text, ::SysStringLen(text));
        if (!text) _com_issue_error(E_OUTOFMEMORY);
    }
    m_holder = Adopt(text);
}

bstr_t::bstr_t(const bstr_t& other) noexcept : m_holder(other.m_holder) {
    if (m_holder) m_holder->refs.fetch_add(1, std::memory_order_relaxed);
}

bstr_t::bstr_t(bstr_t&& other) noexcept : m_holder(std::exchange(other.m_holder, nullptr)) {}

bstr_t& bstr_t::operator=(const bstr_t& other) noexcept {
    if (m_holder != other.m_holder) {
        bstr_t copy(other);
        std::swap(m_holder, copy.m_holder);
    }
    return *this;
}

bstr_t& bstr_t::operator=(bstr_t&& other) noexcept {
    if (this != &other) {
        Release();
        m_holder = std::exchange(other.m_holder, nullptr);
    }
    return *this;
}

bstr_t::~bstr_t() { Release(); }

void bstr_t::Release() noexcept {
    Holder* holder = std::exchange(m_holder, nullptr);
    if (holder && holder->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        ::SysFreeString(holder->text);
        delete holder;
    }
}

BSTR bstr_t::GetBSTR() const noexcept { return m_holder ? m_holder->text : nullptr; }

BSTR bstr_t::copy() const {
    BSTR text = GetBSTR();
    if (!text) return nullptr;
    BSTR result = ::SysAllocStringLen(text, ::SysStringLen(text));
    if (!result) _com_issue_error(E_OUTOFMEMORY);
    return result;
}
