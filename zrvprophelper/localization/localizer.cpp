#include "localizer.h"

#include <algorithm>

#include "../support/bstr.h"
#include "registrations.h"

namespace {

// A wait that ended with the mutex ours. Abandoned counts as failure: the
// holder died mid-update and the table may be half written.
bool Acquire(HANDLE mutex, DWORD timeout = kLocalizerWaitMs) noexcept {
    return mutex && ::WaitForSingleObject(mutex, timeout) == WAIT_OBJECT_0;
}

volatile LONG& EntryCount(LocalizerMap* view) noexcept {
    return *const_cast<volatile LONG*>(&view->entryCount);
}

}  // namespace

CZRVLocalizer::CZRVLocalizer(HMODULE module) noexcept {
    mapping.reset(::OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, kLocalizerMapName));
    if (mapping) {
        view = static_cast<LocalizerMap*>(
            ::MapViewOfFile(mapping.get(), FILE_MAP_ALL_ACCESS, 0, 0, 0));
        if (view) {
            MEMORY_BASIC_INFORMATION info = {};
            if (::VirtualQuery(view, &info, sizeof(info)) == sizeof(info))
                viewBytes = info.RegionSize;
            mutex.reset(::CreateMutexW(nullptr, FALSE, kLocalizerMutexName));
            if (!FindThreadEntry()) {
                IAppLocalizer* created = nullptr;
                if (SUCCEEDED(::CoCreateInstance(CLSID_AppServices, nullptr, CLSCTX_INPROC_SERVER,
                                                 IID_IAppLocalizer,
                                                 reinterpret_cast<void**>(&created))) &&
                    created) {
                    localizer = created;
                    if (!RegisterCreated(created)) {
                        // Used for this lookup only: the map is left alone.
                        ::UnmapViewOfFile(view);
                        view = nullptr;
                        viewBytes = 0;
                        mapping.reset();
                    }
                }
            }
        }
    }
    if (!localizer) {
        // No map, no view, or no in-process server: the out-of-process server
        // answers, and is never registered.
        ::CoCreateInstance(CLSID_AppServices, nullptr, CLSCTX_LOCAL_SERVER, IID_IAppLocalizer,
                           reinterpret_cast<void**>(&localizer));
    }
    try {
        GetModuleStem(module, &moduleStem);
    } catch (...) {
        moduleStem.Empty();
    }
}

CZRVLocalizer::~CZRVLocalizer() {
    ReleaseEntry();
    localizer = nullptr;
    if (view) {
        ::FlushViewOfFile(view, 0);
        ::UnmapViewOfFile(view);
        view = nullptr;
    }
    mapping.reset();
    mutex.reset();
}

LONG CZRVLocalizer::Capacity() const noexcept {
    if (!view || viewBytes < kLocalizerMapHeaderBytes) return 0;
    return static_cast<LONG>((viewBytes - kLocalizerMapHeaderBytes) / sizeof(LocalizerMapEntry));
}

// Looks for the calling thread's entry without the lock: only this thread
// touches an entry that carries its own ids.
bool CZRVLocalizer::FindThreadEntry() noexcept {
    const DWORD thread = ::GetCurrentThreadId();
    const DWORD process = ::GetCurrentProcessId();
    const LONG capacity = Capacity();
    for (LONG i = 0;; ++i) {
        const LONG count = EntryCount(view);
        if (count < 0 || count > capacity) return false;  // not a table we can trust
        if (i >= count) return false;
        LocalizerMapEntry& entry = view->entries[i];
        if (entry.processId != process || entry.threadId != thread) continue;
        auto* found = reinterpret_cast<IAppLocalizer*>(static_cast<ULONG_PTR>(entry.localizer));
        if (!found) return false;
        slotIndex = i;
        localizer = found;
        localizer->AddRef();
        ++entry.useCount;
        return true;
    }
}

// Claims a slot for the new pointer under the mutex. False when the pointer
// must stay unregistered: no mutex, no wait, no room, or a header that does
// not describe this mapping.
bool CZRVLocalizer::RegisterCreated(IAppLocalizer* created) noexcept {
    if (!Acquire(mutex.get())) return false;
    const LONG capacity = Capacity();
    const LONG count = EntryCount(view);
    LONG slot = -1;
    if (count >= 0 && count <= capacity) {
        for (LONG i = 0; i < count; ++i) {
            if (view->entries[i].processId == 0 && view->entries[i].threadId == 0) {
                slot = i;
                break;
            }
        }
        if (slot < 0 && count < capacity) {
            slot = count;
            EntryCount(view) = count + 1;
        }
    }
    if (slot >= 0) {
        LocalizerMapEntry& entry = view->entries[slot];
        entry.processId = ::GetCurrentProcessId();
        entry.threadId = ::GetCurrentThreadId();
        ++entry.useCount;  // the map's hold
        entry.localizer = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(created));
        created->AddRef();  // the map's reference, never given back here
        ++entry.useCount;   // this object's use
        slotIndex = slot;
        zrv::RememberLocalizerRegistration(slot, created);
    }
    ::ReleaseMutex(mutex.get());
    return slot >= 0;
}

void CZRVLocalizer::ReleaseEntry() noexcept {
    if (!localizer) return;
    localizer->Release();
    if (!view || slotIndex < 0 || !mutex) return;
    const LONG capacity = Capacity();
    if (slotIndex >= capacity) return;
    // Only this thread touches an entry that carries its ids, so a use that
    // leaves the entry held needs no lock; clearing the slot and shrinking the
    // table do, since other threads claim free slots under the mutex.
    LocalizerMapEntry& own = view->entries[slotIndex];
    if (own.useCount > 1 && own.processId == ::GetCurrentProcessId() &&
        own.threadId == ::GetCurrentThreadId()) {
        --own.useCount;
        return;
    }
    if (!Acquire(mutex.get())) return;  // the entry keeps its count
    {
        LocalizerMapEntry& entry = view->entries[slotIndex];
        if (entry.useCount != 0 && --entry.useCount == 0) {
            std::fill_n(reinterpret_cast<BYTE*>(&entry), sizeof(entry), BYTE{0});
            const LONG count = EntryCount(view);
            if (count != 0 && slotIndex == count - 1) EntryCount(view) = count - 1;
        }
    }
    ::ReleaseMutex(mutex.get());
}

bool CZRVLocalizer::LocalizeString(UINT id, CString& text) {
    if (!localizer) return false;
    CString idText;
    idText.Format(L"%u", id);
    bstr_t stem(moduleStem.GetString());
    bstr_t key(idText.GetString());
    bstr_t defaultText(text.GetString());
    BSTR answer = nullptr;
    const HRESULT hr = localizer->GetModuleString(stem, key, defaultText, &answer);
    zrv::unique_bstr owned(answer);
    if (FAILED(hr)) return false;
    text = answer;  // up to the first NUL; null gives the empty text
    return true;
}
