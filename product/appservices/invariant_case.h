#pragma once
// Case folding that does not depend on the user's locale: extensions and
// catalog keys compare the same on every machine.

#include <windows.h>

#include <string>
#include <string_view>

namespace zrvappsvc {

// text mapped with LCMAP_LOWERCASE or LCMAP_UPPERCASE in the invariant locale.
std::wstring InvariantCase(std::wstring_view text, DWORD mapping);

}  // namespace zrvappsvc
