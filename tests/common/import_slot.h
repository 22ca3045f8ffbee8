#pragma once
// The slot of a loaded image's import table that holds a given function's
// address, and a write to such a slot: used to put a stand-in in the way of
// one imported function for a while (see import_hook.h).

#include <windows.h>

namespace zrvtest {

// The slot through which importer calls target, or null.
inline void** FindImportSlot(HMODULE importer, void* target) noexcept {
    if (!importer || !target) return nullptr;
    auto* base = reinterpret_cast<BYTE*>(importer);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const auto& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (dir.VirtualAddress == 0) return nullptr;
    for (auto* imp = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress);
         imp->Name; ++imp) {
        for (auto** slot = reinterpret_cast<void**>(base + imp->FirstThunk); *slot; ++slot)
            if (*slot == target) return slot;
    }
    return nullptr;
}

// Writes value into the slot (import tables may be read-only), giving back
// what it held; false when the slot could not be made writable.
inline bool SwapImportSlot(void** slot, void* value, void** old) noexcept {
    DWORD protection = 0;
    if (!::VirtualProtect(slot, sizeof(*slot), PAGE_READWRITE, &protection)) return false;
    *old = *slot;
    *slot = value;
    ::VirtualProtect(slot, sizeof(*slot), protection, &protection);
    return true;
}

}  // namespace zrvtest
