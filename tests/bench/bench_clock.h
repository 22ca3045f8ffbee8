#pragma once
// The benchmarks' one clock: the performance counter, in seconds or in
// milliseconds.

#include <windows.h>

namespace zrvbench {

inline double Now() {
    static const LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

inline double NowMs() { return Now() * 1000.0; }

}  // namespace zrvbench
