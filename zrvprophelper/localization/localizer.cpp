#include "localizer.h"

#include "localization/apartment_end.h"
#include "localization/registrations.h"
#include "support/bstr.h"
#include "support/hresult.h"
#include "support/mutex_lock.h"

namespace {

volatile LONG& EntryCount(LocalizerMap* view) noexcept {
    return *const_cast<volatile LONG*>(&view->entryCount);
}

// The local server leaves once it has been idle for a while, and an
// activation that reaches it on its way out fails although the next one
// would start a new server. Windows answers that the server is stopping.
// Wine hands out the leaving server's registration, and the creation through
// it fails with E_FAIL once the class object is revoked, or with an RPC
// error once the process is gone.
bool IsServerLeaving(HRESULT hr) noexcept {
    return hr == CO_E_SERVER_STOPPING || hr == E_FAIL || hr == RPC_E_DISCONNECTED ||
           hr == HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE);
}

// One retry, not a loop: a server that keeps refusing is not leaving.
void CreateOutOfProcess(zrv::com_ptr<IAppLocalizer>& localizer) noexcept {
    HRESULT hr = ::CoCreateInstance(CLSID_AppServices, nullptr, CLSCTX_LOCAL_SERVER,
                                    IID_IAppLocalizer, localizer.put_void());
    if (IsServerLeaving(hr)) {
        ::CoCreateInstance(CLSID_AppServices, nullptr, CLSCTX_LOCAL_SERVER, IID_IAppLocalizer,
                           localizer.put_void());
    }
}

}  // namespace

CZRVLocalizer::CZRVLocalizer(HMODULE module) noexcept {
    if (m_map) {
        m_mutex.reset(::CreateMutexW(nullptr, FALSE, kLocalizerMutexName));
        LONG ownIds = -1;
        if (!FindThreadEntry(&ownIds)) {
            zrv::com_ptr<IAppLocalizer> created;
            if (SUCCEEDED(::CoCreateInstance(CLSID_AppServices, nullptr, CLSCTX_INPROC_SERVER,
                                             IID_IAppLocalizer, created.put_void())) &&
                created) {
                m_localizer = created;
                zrv::com_ptr<IAppLocalizer> superseded;
                const bool registered = RegisterCreated(created.get(), ownIds, superseded.put());
                superseded.reset();  // outside the mutex
                if (registered) {
                    zrv::WatchApartmentEnd();
                } else {
                    // Used for this lookup only: the map is left alone.
                    m_map.Close();
                }
            }
        }
    }
    if (!m_localizer) {
        // No map, no view, or no in-process server: the out-of-process server
        // answers, and is never registered.
        CreateOutOfProcess(m_localizer);
    }
    GetModuleStem(module, &m_moduleStem);
}

CZRVLocalizer::~CZRVLocalizer() {
    ReleaseEntry();
    m_map.Flush();
}

// Looks for the calling thread's entry without the lock: only this thread
// touches an entry that carries its own ids. The first entry with those ids
// is used only when this module registered it from this very thread; one left
// by an ended thread or process that had the same ids, or one with no
// pointer, is never dereferenced: its index goes to *ownIds for the new
// registration to take over.
bool CZRVLocalizer::FindThreadEntry(LONG* ownIds) noexcept {
    const DWORD thread = ::GetCurrentThreadId();
    const DWORD process = ::GetCurrentProcessId();
    const LONG capacity = m_map.capacity();
    for (LONG i = 0;; ++i) {
        const LONG count = EntryCount(Map());
        if (count < 0 || count > capacity) return false;  // not a table we can trust
        if (i >= count) return false;
        LocalizerMapEntry& entry = Map()->entries[i];
        if (entry.processId != process || entry.threadId != thread) continue;
        const DWORD pointer = entry.localizer;
        if (!zrv::IsOwnRegistration(i, pointer)) {
            *ownIds = i;
            return false;
        }
        m_slotIndex = i;
        m_localizer = zrv::com_ptr<IAppLocalizer>(
            reinterpret_cast<IAppLocalizer*>(static_cast<ULONG_PTR>(pointer)));
        ++entry.useCount;
        return true;
    }
}

// Claims a slot for the new pointer under the mutex: the one that carries the
// thread's ids without being its registration (ownIds), else the lowest free
// one, else a new one at the end. False when the pointer must stay
// unregistered: no mutex, no wait, no room, no record of it, or a header that
// does not describe this mapping.
bool CZRVLocalizer::RegisterCreated(IAppLocalizer* created, LONG ownIds,
                                    IAppLocalizer** superseded) noexcept {
    // An abandoned mutex is ours as well: its holder died, and whatever it
    // left half written is an entry of an ended process, which is not trusted
    // and which the map's creator sweeps.
    zrv::mutex_lock lock(m_mutex.get(), kLocalizerWaitMs);
    if (!lock) return false;
    const LONG capacity = m_map.capacity();
    const LONG count = EntryCount(Map());
    if (count < 0 || count > capacity) return false;
    const DWORD process = ::GetCurrentProcessId();
    const DWORD thread = ::GetCurrentThreadId();
    LONG slot = -1;
    if (ownIds >= 0 && ownIds < count && Map()->entries[ownIds].processId == process &&
        Map()->entries[ownIds].threadId == thread) {
        slot = ownIds;
    }
    for (LONG i = 0; slot < 0 && i < count; ++i) {
        if (Map()->entries[i].processId == 0 && Map()->entries[i].threadId == 0) slot = i;
    }
    const bool append = slot < 0;
    if (append) {
        if (count >= capacity) return false;
        slot = count;
    }
    const DWORD pointer = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(created));
    zrv::ReplacedRegistration replaced;
    if (!zrv::RememberLocalizerRegistration(slot, thread, pointer, &replaced)) {
        return false;
    }
    if (replaced.localizer) *superseded = GiveUpEntry(replaced, slot, capacity);
    if (append) EntryCount(Map()) = count + 1;
    LocalizerMapEntry& entry = Map()->entries[slot];
    // Whatever count the slot still carries belongs to holders that are gone:
    // an ended thread with our ids, or a peer that died in the middle of
    // clearing or appending it. Counting on from it would keep the entry in
    // use for good.
    entry.useCount = 0;
    entry.processId = process;
    entry.threadId = thread;
    ++entry.useCount;  // the map's hold
    entry.localizer = pointer;
    created->AddRef();  // the map's reference, never given back here
    ++entry.useCount;   // this object's use
    m_slotIndex = slot;
    return true;
}

// The thread's earlier registration, which its record no longer names: the
// map it was made in went away, or its slot went to someone else. Its entry
// leaves this map too, unless a lookup of the thread still holds it, and the
// map's reference on its server object, which lives in this thread's
// apartment, is what the caller gives back. Null when that lookup holds it.
IAppLocalizer* CZRVLocalizer::GiveUpEntry(const zrv::ReplacedRegistration& replaced, LONG newSlot,
                                          LONG capacity) noexcept {
    if (replaced.slot >= 0 && replaced.slot < capacity && replaced.slot != newSlot) {
        LocalizerMapEntry& old = Map()->entries[replaced.slot];
        if (old.processId == ::GetCurrentProcessId() && old.threadId == ::GetCurrentThreadId() &&
            old.localizer == replaced.localizer) {
            if (old.useCount > 1) return nullptr;
            LocalizerMapView::ClearEntry(old);
        }
    }
    return reinterpret_cast<IAppLocalizer*>(static_cast<ULONG_PTR>(replaced.localizer));
}

void CZRVLocalizer::ReleaseEntry() noexcept {
    if (!m_localizer) return;
    m_localizer.reset();
    if (!m_map || m_slotIndex < 0 || !m_mutex) return;
    const LONG capacity = m_map.capacity();
    if (m_slotIndex >= capacity) return;
    // Only this thread touches an entry that carries its ids, so a use that
    // leaves the entry held needs no lock; clearing the slot and shrinking the
    // table do, since other threads claim free slots under the mutex.
    LocalizerMapEntry& own = Map()->entries[m_slotIndex];
    if (own.useCount > 1 && own.processId == ::GetCurrentProcessId() &&
        own.threadId == ::GetCurrentThreadId()) {
        --own.useCount;
        return;
    }
    zrv::mutex_lock lock(m_mutex.get(), kLocalizerWaitMs);
    if (!lock) return;  // the entry keeps its count
    {
        // The entry may have been cleared and claimed by another thread since
        // (a sweep that took this process for dead): it is not ours to count.
        LocalizerMapEntry& entry = Map()->entries[m_slotIndex];
        if (entry.processId != ::GetCurrentProcessId() ||
            entry.threadId != ::GetCurrentThreadId()) {
            return;
        }
        if (entry.useCount != 0 && --entry.useCount == 0) m_map.FreeEntry(m_slotIndex);
    }
}

HRESULT CZRVLocalizer::LocalizeString(UINT id, CString& text) noexcept {
    if (!m_localizer) return S_FALSE;
    CString idText;
    ZRV_RETURN_IF_FAILED(idText.Format(L"%u", id));
    CComBSTR stem;
    ZRV_RETURN_IF_FAILED(stem.Assign(m_moduleStem));
    CComBSTR key;
    ZRV_RETURN_IF_FAILED(key.Assign(idText));
    CComBSTR defaultText;
    // Up to the first NUL, as window texts go.
    ZRV_RETURN_IF_FAILED(defaultText.Assign(text.GetString()));
    CComBSTR answer;
    const HRESULT hr = m_localizer->GetModuleString(stem, key, defaultText, answer.put());
    if (FAILED(hr)) return S_FALSE;
    // Up to the first NUL; null gives the empty text.
    ZRV_RETURN_IF_FAILED(text.SetString(answer.get()));
    return S_OK;
}
