#pragma once
// The module whose resources (string table, dialog templates, icons) the
// support code loads from. It defaults to the image this code is linked
// into: the DLL in the product, the test program when tests link the code
// statically.

#include <windows.h>

namespace zrv {

HINSTANCE ResourceInstance() noexcept;

// A null instance restores the default.
void SetResourceInstance(HINSTANCE instance) noexcept;

}  // namespace zrv
