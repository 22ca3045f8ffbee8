#include "update_listeners.h"

#include <olectl.h>

#include <new>
#include <vector>

#include "store/com/server_module.h"
#include "support/com_ptr.h"

namespace zrvstore::server {

namespace {

struct Registration {
    DWORD cookie;
    IDocumentUpdateListener* listener;
};

CRITICAL_SECTION g_lock;
std::vector<Registration>* g_listeners = nullptr;  // lives from attach to detach
DWORD g_nextCookie = 1;

class ListLock {
  public:
    ListLock() noexcept { ::EnterCriticalSection(&g_lock); }
    ListLock(const ListLock&) = delete;
    ListLock& operator=(const ListLock&) = delete;
    ~ListLock() { ::LeaveCriticalSection(&g_lock); }
};

}  // namespace

void InitializeUpdateListeners() noexcept {
    ::InitializeCriticalSection(&g_lock);
    g_listeners = new (std::nothrow) std::vector<Registration>();
}

// Listeners still advised at detach belong to a process that is ending:
// other DLLs may be gone already, so they are not called or released.
void ShutDownUpdateListeners() noexcept {
    delete g_listeners;
    g_listeners = nullptr;
    ::DeleteCriticalSection(&g_lock);
}

HRESULT AdviseUpdateListener(IDocumentUpdateListener* listener, DWORD* cookie) noexcept try {
    if (cookie) *cookie = 0;
    if (!listener || !cookie) return E_POINTER;
    if (!g_listeners) return E_OUTOFMEMORY;
    ListLock lock;
    DWORD assigned = g_nextCookie++;
    if (assigned == 0) assigned = g_nextCookie++;
    g_listeners->push_back({assigned, listener});
    listener->AddRef();
    LockModule();
    *cookie = assigned;
    return S_OK;
} catch (...) {
    return E_OUTOFMEMORY;
}

HRESULT UnadviseUpdateListener(DWORD cookie) noexcept {
    IDocumentUpdateListener* removed = nullptr;
    {
        if (!g_listeners) return CONNECT_E_NOCONNECTION;
        ListLock lock;
        for (auto it = g_listeners->begin(); it != g_listeners->end(); ++it) {
            if (it->cookie == cookie) {
                removed = it->listener;
                g_listeners->erase(it);
                break;
            }
        }
    }
    if (!removed) return CONNECT_E_NOCONNECTION;
    removed->Release();
    UnlockModule();
    return S_OK;
}

void NotifyUpdateListeners(BSTR path) noexcept try {
    if (!g_listeners) return;
    std::vector<zrv::com_ptr<IDocumentUpdateListener>> targets;
    {
        ListLock lock;
        targets.reserve(g_listeners->size());
        for (const Registration& r : *g_listeners) targets.emplace_back(r.listener);
    }
    for (const auto& target : targets) target->DocumentUpdated(path);
} catch (...) {
    // Only the copy of the list can fail, before anyone was called.
}

}  // namespace zrvstore::server
