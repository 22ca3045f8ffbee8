#include "lifecycle_clock.h"

namespace zrv {

namespace {

void SystemClock(SYSTEMTIME* now) { ::GetSystemTime(now); }

UtcClock g_clock = &SystemClock;

}  // namespace

void SetLifeCycleClockForTesting(UtcClock clock) noexcept {
    g_clock = clock ? clock : &SystemClock;
}

SYSTEMTIME LifeCycleUtcNow() noexcept {
    SYSTEMTIME now = {};
    g_clock(&now);
    return now;
}

}  // namespace zrv
