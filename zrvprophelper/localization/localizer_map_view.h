#pragma once
// The localizer map as this module opens it. Every access stays inside the
// mapping's real size, which the system tells, whatever the header says.

#include <windows.h>

#include "localization/localizer_map.h"
#include "support/handles.h"

class LocalizerMapView {
  public:
    // Opens the map that the product's main application publishes; the view
    // stays closed without one.
    LocalizerMapView() noexcept;
    LocalizerMapView(const LocalizerMapView&) = delete;
    LocalizerMapView& operator=(const LocalizerMapView&) = delete;

    explicit operator bool() const noexcept { return static_cast<bool>(m_view); }
    LocalizerMap* map() const noexcept { return static_cast<LocalizerMap*>(m_view.get()); }
    // The entries that fit in the mapping; 0 when it is closed or too small
    // for its header.
    LONG capacity() const noexcept { return m_capacity; }
    void Flush() const noexcept;
    void Close() noexcept;

    // Frees an entry, with or without the mutex. A claimer takes a slot once
    // processId and threadId are both 0, so those go last, processId with a
    // full barrier: a claimer never sees a free slot with anything left in
    // it. entryCount is left alone: shrinking it needs the mutex.
    static void ClearEntry(volatile LocalizerMapEntry& entry) noexcept;
    // Under the mutex: frees slot (below capacity()) and shrinks the table
    // when it was its last.
    void FreeEntry(LONG slot) noexcept;

  private:
    zrv::unique_handle m_mapping;
    zrv::unique_mapview m_view;
    LONG m_capacity = 0;
};
