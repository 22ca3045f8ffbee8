#pragma once
// The exception that carries an HRESULT out of shared routines. It never
// crosses a COM method or a window procedure: those boundaries catch it (see
// hresult.h) and answer as a failure would.

#include <windows.h>

class CAtlException {
  public:
    explicit CAtlException(HRESULT hr) noexcept : m_hr(hr) {}
    operator HRESULT() const noexcept { return m_hr; }
    HRESULT m_hr;
};

[[noreturn]] inline void AtlThrow(HRESULT hr) { throw CAtlException(hr); }

// Guard around the runtime library's bounded copy routines (wcscpy_s and
// friends): maps their errno_t result onto the exception above.
// 0 and STRUNCATE (80) pass; ENOMEM (12) raises E_OUTOFMEMORY; EINVAL (22)
// and ERANGE (34) raise E_INVALIDARG; anything else raises E_FAIL.
void AtlCrtErrorCheck(int error);
