#pragma once

#include <windows.h>

// Both run every class's registry script and then register or unregister the
// type library, one registration at a time across processes, under the system
// default locale so that the result does not depend on the caller's thread
// locale, which is restored in every case. Unregistering what is not
// registered succeeds.
HRESULT RegisterServer() noexcept;
HRESULT UnregisterServer() noexcept;
