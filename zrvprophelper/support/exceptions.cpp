#include "exceptions.h"

// The error object owns one reference on its info: taken over from the raiser
// (addRef false) or added here (addRef true).
_com_error::_com_error(HRESULT hr, IErrorInfo* info, bool addRef) noexcept
    : m_hr(hr), m_info(info) {
    if (m_info && addRef) m_info->AddRef();
}

_com_error::_com_error(const _com_error& other) noexcept : m_hr(other.m_hr), m_info(other.m_info) {
    if (m_info) m_info->AddRef();
}

_com_error& _com_error::operator=(const _com_error& other) noexcept {
    if (this != &other) {
        // Take the new reference before dropping the old one in case both
        // errors carry the same object.
        if (other.m_info) other.m_info->AddRef();
        if (m_info) m_info->Release();
        m_hr = other.m_hr;
        m_info = other.m_info;
    }
    return *this;
}

_com_error::~_com_error() {
    if (m_info) m_info->Release();
}

IErrorInfo* _com_error::ErrorInfo() const noexcept {
    if (m_info) m_info->AddRef();
    return m_info;
}

void _com_issue_error(HRESULT hr) { throw _com_error(hr); }

void AtlCrtErrorCheck(int error) {
    switch (error) {
        case 0:
        case 80:  // STRUNCATE: the caller asked for truncation
            return;
        case 12:  // ENOMEM
            AtlThrow(E_OUTOFMEMORY);
        case 22:  // EINVAL
        case 34:  // ERANGE
            AtlThrow(E_INVALIDARG);
        default:
            AtlThrow(E_FAIL);
    }
}
