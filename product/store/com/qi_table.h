#pragma once
// Table-driven QueryInterface: each object lists its interfaces with the
// pointer that answers them; the first entry is the object's identity.

#include <unknwn.h>

namespace zrvstore::server {

struct QiEntry {
    const IID* iid;
    IUnknown* pointer;
};

template <size_t N>
HRESULT QueryFromTable(const QiEntry (&table)[N], REFIID iid, void** object) noexcept {
    if (!object) return E_POINTER;
    *object = nullptr;
    IUnknown* found = nullptr;
    if (iid == IID_IUnknown) {
        found = table[0].pointer;
    } else {
        for (const QiEntry& entry : table) {
            if (*entry.iid == iid) {
                found = entry.pointer;
                break;
            }
        }
    }
    if (!found) return E_NOINTERFACE;
    found->AddRef();
    *object = found;
    return S_OK;
}

}  // namespace zrvstore::server
