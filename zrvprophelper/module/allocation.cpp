// The module's allocation functions. The C++ runtime's own nothrow forms ask
// the throwing forms and catch what they raise; the module raises nothing
// (see support/nothrow_vector.h), so these take memory from the C runtime
// and answer its failure with null. The throwing forms are not used, and the
// module's build fails should they ever be linked in (see
// cmake/CheckModuleRuntime.cmake).

#include <cstdlib>
#include <new>

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size != 0 ? size : 1);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size != 0 ? size : 1);
}

void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
