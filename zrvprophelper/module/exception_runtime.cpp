// The module reports running out of memory by throwing, and the C++ runtime
// linked into it needs memory of its own for a throw in three places that it
// sets up lazily and cannot fail gracefully: each thread's record of its
// exceptions (made on the thread's first throw; the runtime aborts when it
// cannot be made), the lock of the emergency pool that exceptions come from
// once the heap is exhausted (made on the pool's first use; the runtime
// terminates when it cannot be made), and the unwinder's tables (set up on
// the process's first throw through the thread runtime's one-time
// initialisation, which crashes when its own record cannot be made). Memory
// that stays exhausted thus ended the host at the module's first report of
// it. Here the record lives in the image's thread-local data, which the
// loader sets up for each thread before any code of ours runs on it, and the
// pool's lock and the unwinder's tables are made at load.

#include "module/exception_runtime.h"

#include <windows.h>

#include <csetjmp>
#include <cstdlib>
#include <exception>
#include <new>

#include "support/import_slot.h"

namespace {

// The runtime's per-thread record, as the C++ ABI lays it out on x86.
struct ExceptionGlobals {
    void* caughtExceptions;
    unsigned int uncaughtExceptions;
};

__attribute__((section(".tls$ZRV"))) ExceptionGlobals g_exceptionGlobals = {nullptr, 0};

// Stands in for malloc during the one call below: fails the exception's own
// allocation, so that the pool is used, and serves the lock's.
using MallocFn = void*(__cdecl*)(size_t);
MallocFn g_realMalloc = nullptr;
bool g_failedOnce = false;

void* __cdecl FailFirstMalloc(size_t size) {
    if (!g_failedOnce) {
        g_failedOnce = true;
        return nullptr;
    }
    return g_realMalloc(size);
}

// A pool without memory of its own (its making failed as the module
// started) cannot serve the call below, and the runtime then terminates: the
// load fails instead.
std::jmp_buf g_noPool;

[[noreturn]] void NoPool() { std::longjmp(g_noPool, 1); }

// The unwinder sets its tables up on the first throw in the process, through
// the thread runtime's one-time initialisation, which dereferences its own
// failed allocation: a throw made here does that while memory is there.
bool ThrowOnce() noexcept {
    try {
        throw std::bad_alloc();
    } catch (const std::bad_alloc&) {
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace

extern "C" {

// The image's thread-local data, laid out by the loader (see the C runtime's
// TLS support).
extern ULONG _tls_index;
extern const IMAGE_TLS_DIRECTORY _tls_used;

void* __cxa_get_globals_fast() noexcept {
    // The thread's table of thread-local data blocks, one per image.
    char** blocks;
    asm("movl %%fs:0x2C, %0" : "=r"(blocks));
    const ULONG_PTR offset =
        reinterpret_cast<ULONG_PTR>(&g_exceptionGlobals) - _tls_used.StartAddressOfRawData;
    return blocks[_tls_index] + offset;
}

void* __cxa_get_globals() noexcept { return __cxa_get_globals_fast(); }

void* __cxa_allocate_exception(size_t size) noexcept;
void __cxa_free_exception(void* exception) noexcept;

}  // extern "C"

namespace {

// One exception taken with malloc failing, so that it comes from the pool;
// null when the pool could not serve it. Kept apart from the import's
// patching: nothing here lives across the jump.
__attribute__((noinline)) void* ExceptionFromPool() noexcept {
    const std::terminate_handler previous = std::set_terminate(&NoPool);
    void* volatile exception = nullptr;
    if (setjmp(g_noPool) == 0) exception = __cxa_allocate_exception(sizeof(void*));
    std::set_terminate(previous);
    return exception;
}

}  // namespace

bool ReadyExceptionRuntime(HINSTANCE image) noexcept {
    // Out of memory already: the load fails rather than the lock's making.
    void* probe = std::malloc(256);
    if (!probe) return false;
    std::free(probe);
    // The module's import of malloc, patched for the one call below.
    HMODULE runtime = ::GetModuleHandleW(L"msvcrt.dll");
    void** slot = zrv::FindImportSlot(
        image, runtime ? reinterpret_cast<void*>(::GetProcAddress(runtime, "malloc")) : nullptr);
    void* real = nullptr;
    if (!slot) return false;
    g_realMalloc = reinterpret_cast<MallocFn>(*slot);
    if (!zrv::SwapImportSlot(slot, reinterpret_cast<void*>(&FailFirstMalloc), &real)) return false;
    // Nothing else runs this image's code during its process attach.
    void* exception = ExceptionFromPool();
    zrv::SwapImportSlot(slot, real, &real);
    if (!exception) return false;
    __cxa_free_exception(exception);
    return ThrowOnce();
}
