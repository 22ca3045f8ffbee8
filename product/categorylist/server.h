#pragma once
// What every object of the category list server shares: the image it lives
// in, the lock count that DllCanUnloadNow reports, and table-driven
// QueryInterface.

#include <windows.h>
#include <unknwn.h>

#include <cstddef>

namespace zrvcatlist {

HINSTANCE ServerInstance() noexcept;

void LockServer() noexcept;
void UnlockServer() noexcept;
LONG ServerLockCount() noexcept;

// Every live object holds one server lock, so that the DLL stays loaded
// while anything of it is reachable.
class ServerLock {
  public:
    ServerLock() noexcept { LockServer(); }
    ServerLock(const ServerLock&) noexcept { LockServer(); }
    ServerLock& operator=(const ServerLock&) noexcept { return *this; }
    ~ServerLock() { UnlockServer(); }
};

// One row of an interface table: the interface id and where that interface
// sits inside the object. The first row is the object's identity.
struct InterfaceEntry {
    const IID* iid;
    std::ptrdiff_t offset;
};

template <typename Interface, typename Object>
std::ptrdiff_t InterfaceOffset() noexcept {
    // Any non-null address works; the difference is what counts.
    Object* object = reinterpret_cast<Object*>(0x1000);
    return reinterpret_cast<char*>(static_cast<Interface*>(object)) -
           reinterpret_cast<char*>(object);
}

// Answers IUnknown with the first row. The table ends with a null iid.
HRESULT QueryInterfaceFromTable(void* object, const InterfaceEntry* table, REFIID iid,
                                void** result) noexcept;

}  // namespace zrvcatlist
