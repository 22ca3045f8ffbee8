#pragma once
// The control's keys under HKCR\CLSID.

#include <windows.h>

namespace zrvcatlist {

HRESULT RegisterControl() noexcept;
// Succeeds also when nothing was registered.
HRESULT UnregisterControl() noexcept;

}  // namespace zrvcatlist
