#pragma once
// The platform's own Properties dialog for a file, as a reference for what
// a properties dialog costs on this system.

#include <string>

#include "bench/sheet_watch.h"

namespace zrvbench {

// Opens the dialog through the item's context menu ("properties" verb),
// which Wine's shell runs as a modal sheet inside InvokeCommand on this
// thread; times it until its General page has initialised and painted, and
// closes it. Only initialised and painted are filled in.
SheetTimes PlatformDialog(const std::wstring& path);

}  // namespace zrvbench
