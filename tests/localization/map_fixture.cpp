#include "map_fixture.h"

#include <objbase.h>

#include <algorithm>
#include <cstring>
#include <thread>

#include "localization/registrations.h"

namespace zrvtest {

MapView::MapView() {
    m_mapping = ::OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, kLocalizerMapName);
    if (!m_mapping) return;
    m_view = static_cast<LocalizerMap*>(::MapViewOfFile(m_mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    if (!m_view) return;
    MEMORY_BASIC_INFORMATION info = {};
    ::VirtualQuery(m_view, &info, sizeof(info));
    m_bytes = info.RegionSize;
    m_capacity =
        static_cast<LONG>((m_bytes - kLocalizerMapHeaderBytes) / sizeof(LocalizerMapEntry));
}

MapView::~MapView() {
    if (m_view) ::UnmapViewOfFile(m_view);
    if (m_mapping) ::CloseHandle(m_mapping);
}

LONG MapView::FindThread(DWORD threadId) const {
    for (LONG i = 0; i < m_view->entryCount && i < m_capacity; ++i) {
        if (m_view->entries[i].processId == ::GetCurrentProcessId() &&
            m_view->entries[i].threadId == threadId) {
            return i;
        }
    }
    return -1;
}

LONG MapView::Append(DWORD processId, DWORD threadId, LONG useCount, DWORD localizer) {
    const LONG index = m_view->entryCount;
    if (index < 0 || index >= m_capacity) return -1;
    m_view->entries[index] = {processId, threadId, useCount, localizer};
    m_view->entryCount = index + 1;
    return index;
}

void MapView::Clear(LONG index) {
    if (index < 0 || index >= m_capacity) return;
    std::memset(&m_view->entries[index], 0, sizeof(LocalizerMapEntry));
    while (m_view->entryCount > 0 && m_view->entries[m_view->entryCount - 1].processId == 0 &&
           m_view->entries[m_view->entryCount - 1].threadId == 0) {
        --m_view->entryCount;
    }
}

std::string MapView::Snapshot() const {
    return std::string(reinterpret_cast<const char*>(m_view), m_bytes);
}

void MapView::Restore(const std::string& bytes) {
    std::memcpy(m_view, bytes.data(), std::min<size_t>(bytes.size(), m_bytes));
}

void VouchForThreadEntry(LONG slot, DWORD localizer) {
    zrv::RememberLocalizerRegistration(slot, ::GetCurrentThreadId(), localizer);
}

void RunOnNewThread(const std::function<void()>& body) {
    std::thread thread([&body] {
        ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        body();
        ::CoUninitialize();
    });
    thread.join();
}

ServerStats AppServicesStats() {
    ServerStats stats;
    HMODULE dll = ::GetModuleHandleW(L"ZRVAppServices.dll");
    if (!dll) return stats;
    using StatsFn = void(__cdecl*)(LONG*, LONG*, LONG*);
    auto fn = reinterpret_cast<StatsFn>(
        reinterpret_cast<void*>(::GetProcAddress(dll, "ZRVAppServicesStats")));
    if (fn) fn(&stats.created, &stats.alive, &stats.lookups);
    return stats;
}

}  // namespace zrvtest
