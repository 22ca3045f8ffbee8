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

// The module's import of malloc, patched for the one call below.
void** MallocImport(HINSTANCE image) noexcept {
    auto* base = reinterpret_cast<BYTE*>(image);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0) return nullptr;
    for (auto* entry = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         entry->Name != 0; ++entry) {
        if (::lstrcmpiA(reinterpret_cast<const char*>(base + entry->Name), "msvcrt.dll") != 0)
            continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            const auto* name =
                reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (::lstrcmpA(reinterpret_cast<const char*>(name->Name), "malloc") == 0)
                return reinterpret_cast<void**>(&slots->u1.Function);
        }
    }
    return nullptr;
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

bool SwapImport(void** slot, void* value, void** old) noexcept {
    DWORD protection = 0;
    if (!::VirtualProtect(slot, sizeof(*slot), PAGE_READWRITE, &protection)) return false;
    *old = *slot;
    *slot = value;
    ::VirtualProtect(slot, sizeof(*slot), protection, &protection);
    return true;
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

bool ReadyExceptionRuntime(HINSTANCE image) noexcept {
    // Out of memory already: the load fails rather than the lock's making.
    void* probe = std::malloc(256);
    if (!probe) return false;
    std::free(probe);
    void** slot = MallocImport(image);
    void* real = nullptr;
    if (!slot) return false;
    g_realMalloc = reinterpret_cast<MallocFn>(*slot);
    if (!SwapImport(slot, reinterpret_cast<void*>(&FailFirstMalloc), &real)) return false;
    // Nothing else runs this image's code during its process attach.
    const std::terminate_handler previous = std::set_terminate(&NoPool);
    void* volatile exception = nullptr;
    if (setjmp(g_noPool) == 0) exception = __cxa_allocate_exception(sizeof(void*));
    std::set_terminate(previous);
    SwapImport(slot, real, &real);
    if (!exception) return false;
    __cxa_free_exception(exception);
    return ThrowOnce();
}
