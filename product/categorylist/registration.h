#pragma once
// The control's keys under HKCR\CLSID.

#include <windows.h>

namespace catlist {

HRESULT RegisterControl() noexcept;
// Succeeds also when nothing was registered.
HRESULT UnregisterControl() noexcept;

}  // namespace catlist
