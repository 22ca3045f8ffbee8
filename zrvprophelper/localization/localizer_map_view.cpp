#include "localizer_map_view.h"

LocalizerMapView::LocalizerMapView() noexcept {
    m_mapping.reset(::OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, kLocalizerMapName));
    if (!m_mapping) return;
    m_view.reset(::MapViewOfFile(m_mapping.get(), FILE_MAP_ALL_ACCESS, 0, 0, 0));
    if (!m_view) return;
    MEMORY_BASIC_INFORMATION info = {};
    if (::VirtualQuery(m_view.get(), &info, sizeof(info)) != sizeof(info) ||
        info.RegionSize < kLocalizerMapHeaderBytes) {
        return;
    }
    m_capacity =
        static_cast<LONG>((info.RegionSize - kLocalizerMapHeaderBytes) / sizeof(LocalizerMapEntry));
}

void LocalizerMapView::Flush() const noexcept {
    if (m_view) ::FlushViewOfFile(m_view.get(), 0);
}

void LocalizerMapView::Close() noexcept {
    m_view.reset();
    m_mapping.reset();
    m_capacity = 0;
}

void LocalizerMapView::ClearEntry(volatile LocalizerMapEntry& entry) noexcept {
    entry.localizer = 0;
    entry.useCount = 0;
    entry.threadId = 0;
    ::InterlockedExchange(reinterpret_cast<volatile LONG*>(&entry.processId), 0);
}

void LocalizerMapView::FreeEntry(LONG slot) noexcept {
    volatile LocalizerMap* table = map();
    ClearEntry(table->entries[slot]);
    const LONG count = table->entryCount;
    if (count > 0 && slot == count - 1) table->entryCount = count - 1;
}
