#include "image_pin.h"

#include <windows.h>

#include <atomic>

// The linker places this symbol at the start of the image it builds.
extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace zrv {
namespace {

std::atomic<bool> g_pinned{false};

}  // namespace

bool PinThisImage() noexcept {
    if (g_pinned.load(std::memory_order_acquire)) return true;
    HMODULE self = nullptr;
    if (!::GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
            reinterpret_cast<LPCWSTR>(&__ImageBase), &self)) {
        return false;
    }
    g_pinned.store(true, std::memory_order_release);
    return true;
}

}  // namespace zrv
