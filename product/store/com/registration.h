#pragma once

#include <windows.h>

namespace zrvstore::server {

// Writes (or removes) HKCR\CLSID\{clsid} with InprocServer32 naming this DLL,
// threading model Apartment, for both classes. A failed registration leaves
// nothing behind.
HRESULT RegisterClasses(bool doRegister) noexcept;

}  // namespace zrvstore::server
