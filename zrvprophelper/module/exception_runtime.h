#pragma once

#include <windows.h>

// Run at process attach, before any code of the module may throw. False when
// memory is already out (the module's load then fails).
bool ReadyExceptionRuntime(HINSTANCE image) noexcept;
