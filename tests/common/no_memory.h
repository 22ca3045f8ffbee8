#pragma once
// While one lives, the test program's own calls of malloc and
// SysAllocStringLen fail, as when memory is gone: for the support types
// linked into the program, which take memory through those two. The program's
// import slots are named by its import libraries (__imp_ symbols), whatever
// the runtime's DLL is called. Nothing that needs memory (a test's assertion)
// may run meanwhile.

#include <windows.h>
#include <oleauto.h>

#include "common/import_slot.h"

// The program's import slots of the two functions.
extern "C" void* g_mallocImport asm("__imp__malloc");
extern "C" void* g_sysAllocStringLenImport asm("__imp__SysAllocStringLen@8");

namespace zrvtest {

class NoMemory {
  public:
    NoMemory() noexcept {
        if (SwapImportSlot(&g_mallocImport, reinterpret_cast<void*>(&FailMalloc), &m_realMalloc))
            m_malloc = &g_mallocImport;
        if (SwapImportSlot(&g_sysAllocStringLenImport, reinterpret_cast<void*>(&FailBstr),
                           &m_realBstr))
            m_bstr = &g_sysAllocStringLenImport;
    }
    NoMemory(const NoMemory&) = delete;
    NoMemory& operator=(const NoMemory&) = delete;
    ~NoMemory() {
        void* ours = nullptr;
        if (m_malloc) SwapImportSlot(m_malloc, m_realMalloc, &ours);
        if (m_bstr) SwapImportSlot(m_bstr, m_realBstr, &ours);
    }

    // Both imports were found and are failing.
    bool ok() const noexcept { return m_malloc && m_bstr; }

  private:
    static void* __cdecl FailMalloc(size_t) { return nullptr; }
    static BSTR WINAPI FailBstr(const OLECHAR*, UINT) { return nullptr; }

    void** m_malloc = nullptr;
    void** m_bstr = nullptr;
    void* m_realMalloc = nullptr;
    void* m_realBstr = nullptr;
};

}  // namespace zrvtest
