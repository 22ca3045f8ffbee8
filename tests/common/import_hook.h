#pragma once
// Points one entry of an image's import table at a stand-in for as long as
// the hook lives: the test program's own (the module's code is linked into
// it, so its calls to the system go through that table) or a loaded DLL's,
// such as the built module itself. A test can count the calls, see their
// arguments or fail them without changing the module.

#include <windows.h>

#include "common/import_slot.h"

namespace zrvtest {

class ImportHook {
  public:
    ImportHook(const wchar_t* dll, const char* function, void* replacement) noexcept
        : ImportHook(::GetModuleHandleW(nullptr), dll, function, replacement) {}
    // Patches the import table of importer instead of the program's.
    ImportHook(HMODULE importer, const wchar_t* dll, const char* function,
               void* replacement) noexcept {
        if (HMODULE owner = ::GetModuleHandleW(dll)) {
            m_real = reinterpret_cast<void*>(::GetProcAddress(owner, function));
        }
        m_slot = FindImportSlot(importer, m_real);
        if (m_slot) Patch(replacement);
    }
    ImportHook(const ImportHook&) = delete;
    ImportHook& operator=(const ImportHook&) = delete;
    ~ImportHook() {
        if (m_slot) Patch(m_real);
    }

    bool ok() const noexcept { return m_slot != nullptr; }
    // The system's own function, for the stand-in to call on.
    template <typename Fn>
    Fn real() const noexcept {
        return reinterpret_cast<Fn>(m_real);
    }

  private:
    void Patch(void* value) noexcept {
        void* old = nullptr;
        SwapImportSlot(m_slot, value, &old);
    }

    void* m_real = nullptr;
    void** m_slot = nullptr;
};

}  // namespace zrvtest
