#include "server.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace zrvcatlist {
namespace {

volatile LONG g_lockCount = 0;

}  // namespace

HINSTANCE ServerInstance() noexcept { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

void LockServer() noexcept { ::InterlockedIncrement(&g_lockCount); }

void UnlockServer() noexcept { ::InterlockedDecrement(&g_lockCount); }

LONG ServerLockCount() noexcept { return ::InterlockedCompareExchange(&g_lockCount, 0, 0); }

HRESULT QueryInterfaceFromTable(void* object, const InterfaceEntry* table, REFIID iid,
                                void** result) noexcept {
    if (!result) return E_POINTER;
    *result = nullptr;
    for (const InterfaceEntry* entry = table; entry->iid; ++entry) {
        if (iid == *entry->iid || (entry == table && iid == IID_IUnknown)) {
            IUnknown* found =
                reinterpret_cast<IUnknown*>(static_cast<char*>(object) + entry->offset);
            found->AddRef();
            *result = found;
            return S_OK;
        }
    }
    return E_NOINTERFACE;
}

}  // namespace zrvcatlist
