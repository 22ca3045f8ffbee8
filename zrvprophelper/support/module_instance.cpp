#include "module_instance.h"

#include <atomic>

// The linker places this symbol at the start of the image it builds.
extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace zrv {
namespace {

// Null means "the image itself". Kept null rather than initialised from
// __ImageBase so it is ready before any dynamic initialiser runs: static
// objects elsewhere may load strings.
std::atomic<HINSTANCE> g_resourceInstance{nullptr};

}  // namespace

HINSTANCE ResourceInstance() noexcept {
    HINSTANCE instance = g_resourceInstance.load(std::memory_order_acquire);
    return instance ? instance : reinterpret_cast<HINSTANCE>(&__ImageBase);
}

void SetResourceInstance(HINSTANCE instance) noexcept {
    g_resourceInstance.store(instance, std::memory_order_release);
}

}  // namespace zrv
