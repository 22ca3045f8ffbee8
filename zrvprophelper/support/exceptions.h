#pragma once
// Exceptions that carry an HRESULT out of shared routines. They never cross a
// COM method or a window procedure: those boundaries catch them (see
// hresult.h) and answer as a failure would.

#include <windows.h>
#include <oaidl.h>

#include "support/com_ptr.h"

class CAtlException {
  public:
    explicit CAtlException(HRESULT hr) noexcept : m_hr(hr) {}
    operator HRESULT() const noexcept { return m_hr; }
    HRESULT m_hr;
};

[[noreturn]] inline void AtlThrow(HRESULT hr) { throw CAtlException(hr); }

// The counted BSTR wrapper's error, as the compiler's COM support raises it:
// an HRESULT and, optionally, the error-information object that came with it.
class _com_error {
  public:
    explicit _com_error(HRESULT hr, IErrorInfo* info = nullptr, bool addRef = false) noexcept;

    HRESULT Error() const noexcept { return m_hr; }
    IErrorInfo* ErrorInfo() const noexcept;  // adds a reference for the caller

  private:
    HRESULT m_hr;
    zrv::com_ptr<IErrorInfo> m_info;
};

[[noreturn]] void _com_issue_error(HRESULT hr);

// Guard around the runtime library's bounded copy routines (wcscpy_s and
// friends): maps their errno_t result onto the exceptions above.
// 0 and STRUNCATE (80) pass; ENOMEM (12) raises E_OUTOFMEMORY; EINVAL (22)
// and ERANGE (34) raise E_INVALIDARG; anything else raises E_FAIL.
void AtlCrtErrorCheck(int error);
