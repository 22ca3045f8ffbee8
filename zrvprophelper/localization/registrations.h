#pragma once
// What this module registered in the localizer map, so that the entries can
// be cleared when their thread or the process goes.

#include <windows.h>

#include "component_ids.h"

namespace zrv {

void RememberLocalizerRegistration(LONG slot, IAppLocalizer* localizer) noexcept;

}  // namespace zrv
