#pragma once

#include <windows.h>

// Runs every class's registry script and (un)registers the type library,
// under the system default locale so that the result does not depend on the
// caller's thread locale, which is restored in every case.
HRESULT RegisterServer(bool doRegister) noexcept;
