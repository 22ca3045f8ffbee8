#pragma once
// Values that each thread keeps for itself, in the thread-local data of the
// image that holds this code. The loader gives every thread its own copy,
// zero-filled from the image's template, before any code of the image runs
// on it (threads already running when the image loads included), and frees
// it with the thread. Nothing is asked of the system or allocated on the
// way: reading or writing a value cannot fail, no slot is used up, and a
// value starts out empty in every new thread whatever id it is given. The
// compiler's own thread_local is no substitute: this tool chain emulates it
// with memory allocated at a thread's first use, which can fail.
//
// A value is a variable of a trivial type, defined zero-initialised at
// namespace scope with ZRV_IMAGE_THREAD_LOCAL and reached only through
// ThisThread, since the variable itself is the template, shared by no thread:
//
//     ZRV_IMAGE_THREAD_LOCAL ULONG_PTR g_state = 0;
//     zrv::ThisThread(g_state) |= kWatched;

#include <windows.h>

#define ZRV_IMAGE_THREAD_LOCAL __attribute__((section(".tls$ZRV")))

namespace zrv {

// The calling thread's copy of the template byte at templateAddress.
void* ThisThreadCopy(const void* templateAddress) noexcept;

template <typename T>
T& ThisThread(T& variable) noexcept {
    return *static_cast<T*>(ThisThreadCopy(&variable));
}

}  // namespace zrv
