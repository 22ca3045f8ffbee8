#pragma once
// Looks into the shared localizer map the way a test needs to: read the
// table, plant or clear entries, and compare whole snapshots.

#include <windows.h>

#include <functional>
#include <string>

#include "localization/localizer_map.h"

namespace zrvtest {

class MapView {
  public:
    MapView();
    ~MapView();
    MapView(const MapView&) = delete;
    MapView& operator=(const MapView&) = delete;

    bool ok() const { return m_view != nullptr; }
    LocalizerMap* map() const { return m_view; }
    LONG capacity() const { return m_capacity; }
    SIZE_T bytes() const { return m_bytes; }
    LONG& entryCount() const { return m_view->entryCount; }
    LocalizerMapEntry& entry(LONG i) const { return m_view->entries[i]; }
    // The calling thread's entry, or -1.
    LONG FindThread(DWORD threadId = ::GetCurrentThreadId()) const;
    // Appends an entry at entryCount (growing it); answers its index.
    LONG Append(DWORD processId, DWORD threadId, LONG useCount, DWORD localizer);
    // Zeroes an entry and trims entryCount down past free slots at the top.
    void Clear(LONG index);
    std::string Snapshot() const;
    void Restore(const std::string& bytes);

  private:
    HANDLE m_mapping = nullptr;
    LocalizerMap* m_view = nullptr;
    SIZE_T m_bytes = 0;
    LONG m_capacity = 0;
};

// Records slot as registered by the calling thread through this program's
// copy of the module, as its own registration would have.
void VouchForThreadEntry(LONG slot, DWORD localizer);

inline DWORD Pointer(const void* p) { return static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(p)); }

// Runs body on a new thread inside a single-threaded apartment, as a fresh
// user-interface thread would, and waits for it.
void RunOnNewThread(const std::function<void()>& body);

// The application-services DLL's own counts, when it is loaded here.
struct ServerStats {
    LONG created = 0;
    LONG alive = 0;
    LONG lookups = 0;
};
ServerStats AppServicesStats();

}  // namespace zrvtest
