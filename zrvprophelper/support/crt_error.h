#pragma once
// The result of the runtime library's bounded copy routines (wcscpy_s and
// friends) as an HRESULT: their errno_t codes are no failure the module's
// callers know.

#include <windows.h>

// 0 and STRUNCATE (80) are S_OK; ENOMEM (12) is E_OUTOFMEMORY; EINVAL (22)
// and ERANGE (34) are E_INVALIDARG; anything else is E_FAIL.
HRESULT ResultFromCrtError(int error) noexcept;
