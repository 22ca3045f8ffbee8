#include "image_thread_local.h"

#ifndef __i386__
#error "the thread's table of thread-local data blocks is looked up as on x86"
#endif

extern "C" {

// The image's thread-local data as the loader lays it out (the C runtime's
// TLS support): the template, and the image's index in each thread's table.
extern ULONG _tls_index;
extern const IMAGE_TLS_DIRECTORY _tls_used;

}  // extern "C"

namespace zrv {

void* ThisThreadCopy(const void* templateAddress) noexcept {
    // The thread's table of thread-local data blocks, one per image, which
    // the thread environment block points to at 0x2C.
    char** blocks;
    asm("movl %%fs:0x2C, %0" : "=r"(blocks));
    const ULONG_PTR offset =
        reinterpret_cast<ULONG_PTR>(templateAddress) - _tls_used.StartAddressOfRawData;
    return blocks[_tls_index] + offset;
}

}  // namespace zrv
