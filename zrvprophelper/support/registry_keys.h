#pragma once
// Writing and removing registry keys, as the registry-script interpreter and
// the stand-ins' registrations take their steps. Nothing here allocates.

#include <windows.h>

#include "support/handles.h"

namespace zrv {

HRESULT CreateRegistryKey(HKEY parent, const wchar_t* path, unique_hkey& key) noexcept;
// A REG_SZ value; a null name sets the key's default value.
HRESULT SetRegistryString(HKEY key, const wchar_t* name, const wchar_t* value) noexcept;
// Removes parent\path and all below it; a key already gone is not a failure.
HRESULT DeleteRegistryTree(HKEY parent, const wchar_t* path) noexcept;

}  // namespace zrv
