#include "exceptions.h"

// The error object owns one reference on its info: taken over from the raiser
// (addRef false) or added here (addRef true).
_com_error::_com_error(HRESULT hr, IErrorInfo* info, bool addRef) noexcept
    : m_hr(hr),
      m_info(addRef ? zrv::com_ptr<IErrorInfo>(info) : zrv::com_ptr<IErrorInfo>::attach(info)) {}

IErrorInfo* _com_error::ErrorInfo() const noexcept {
    return zrv::com_ptr<IErrorInfo>(m_info).detach();
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
