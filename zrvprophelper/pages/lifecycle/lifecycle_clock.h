#pragma once
// Where the Life Cycle page takes "now" from when it turns "within N years"
// into a date. The product reads the system clock; tests put a fixed moment
// in its place so that the dates they expect do not depend on the day they
// run.

#include <windows.h>

namespace zrv {

using UtcClock = void (*)(SYSTEMTIME* now);

// Null puts the system clock back. Called on the user-interface thread, as
// the page is.
void SetLifeCycleClockForTesting(UtcClock clock) noexcept;

// The current time in UTC.
SYSTEMTIME LifeCycleUtcNow() noexcept;

}  // namespace zrv
