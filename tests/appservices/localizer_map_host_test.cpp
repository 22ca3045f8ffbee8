// The localizer map as the main application provides it: its objects exist
// exactly while the host lives, the layout starts zeroed, and a sweep clears
// what ended threads and processes left behind.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "common/localizer_map_host.h"
#include "common/test_paths.h"

using namespace zrvproduct;

namespace {

bool MapExists() {
    HANDLE mapping = ::OpenFileMappingW(FILE_MAP_READ, FALSE, kLocalizerMapName);
    if (mapping) ::CloseHandle(mapping);
    return mapping != nullptr;
}

bool MutexExists() {
    HANDLE mutex = ::OpenMutexW(SYNCHRONIZE, FALSE, kLocalizerMutexName);
    if (mutex) ::CloseHandle(mutex);
    return mutex != nullptr;
}

// A view of the map opened the way a module opens it.
class ModuleView {
  public:
    ModuleView()
        : m_mapping(::OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, kLocalizerMapName)),
          m_view(m_mapping ? ::MapViewOfFile(m_mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0) : nullptr) {}
    ~ModuleView() {
        if (m_view) ::UnmapViewOfFile(m_view);
        if (m_mapping) ::CloseHandle(m_mapping);
    }
    ModuleView(const ModuleView&) = delete;
    ModuleView& operator=(const ModuleView&) = delete;

    BYTE* bytes() const { return static_cast<BYTE*>(m_view); }
    LocalizerMapLayout* layout() const { return static_cast<LocalizerMapLayout*>(m_view); }
    volatile LocalizerMapEntry* entries() const { return LocalizerMapEntries(m_view); }
    SIZE_T size() const {
        MEMORY_BASIC_INFORMATION region = {};
        return ::VirtualQuery(m_view, &region, sizeof(region)) ? region.RegionSize : 0;
    }
    void Set(uint32_t slot, DWORD processId, DWORD threadId, int32_t useCount) {
        entries()[slot].processId = processId;
        entries()[slot].threadId = threadId;
        entries()[slot].useCount = useCount;
        entries()[slot].localizer = 0x1000 + slot;
    }
    bool IsClear(uint32_t slot) const {
        return entries()[slot].processId == 0 && entries()[slot].threadId == 0 &&
               entries()[slot].useCount == 0 && entries()[slot].localizer == 0;
    }

  private:
    HANDLE m_mapping;
    void* m_view;
};

// A process that never runs: created suspended from this test program.
PROCESS_INFORMATION StartSuspended() {
    std::wstring line =
        L"\"" + zrvtest::ProgramFolder() + L"appservices_tests.exe\" --gtest_list_tests";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                     nullptr, &startup, &process);
    return process;
}

DWORD WINAPI WaitForEvent(void* event) {
    ::WaitForSingleObject(static_cast<HANDLE>(event), INFINITE);
    return 0;
}

DWORD WINAPI ReturnAtOnce(void*) { return 0; }

}  // namespace

TEST(LocalizerMapHost, MapAndMutexExistZeroedWhileTheHostLives) {
    ASSERT_FALSE(MapExists());
    ASSERT_FALSE(MutexExists());
    {
        LocalizerMapHost host;
        ASSERT_TRUE(host.ok());
        EXPECT_TRUE(host.created());
        EXPECT_EQ(kLocalizerMapSlots, host.capacity());
        EXPECT_TRUE(MutexExists());

        ModuleView view;
        ASSERT_NE(nullptr, view.bytes());
        EXPECT_GE(view.size(), SIZE_T{52 + 16 * 1024});
        EXPECT_EQ(0u, view.size() % 4096);
        EXPECT_EQ(kLocalizerMapMagic, view.layout()->header.magic);
        EXPECT_EQ(kLocalizerMapSlots, view.layout()->header.slotCapacity);
        const std::vector<BYTE> zeros(view.size(), 0);
        EXPECT_EQ(0, std::memcmp(view.bytes() + 8, zeros.data(), view.size() - 8));

        // A second host (another instance of the application) joins the
        // first one's map instead of replacing it.
        view.Set(0, ::GetCurrentProcessId(), ::GetCurrentThreadId(), 1);
        view.layout()->entryCount = 1;
        {
            LocalizerMapHost second;
            EXPECT_TRUE(second.ok());
            EXPECT_FALSE(second.created());
            EXPECT_EQ(kLocalizerMapSlots, second.capacity());
        }
        EXPECT_EQ(1, view.layout()->entryCount);
        EXPECT_EQ(::GetCurrentThreadId(), view.entries()[0].threadId);
    }
    EXPECT_FALSE(MapExists());
    EXPECT_FALSE(MutexExists());
}

TEST(LocalizerMapHost, SweepClearsEntriesOfEndedThreadsAndProcessesOnly) {
    LocalizerMapHost host{0};  // every sweep here is the test's own
    ASSERT_TRUE(host.ok());
    ModuleView view;
    ASSERT_NE(nullptr, view.bytes());

    PROCESS_INFORMATION live = StartSuspended();
    PROCESS_INFORMATION ended = StartSuspended();
    ASSERT_NE(nullptr, live.hProcess);
    ASSERT_NE(nullptr, ended.hProcess);
    ::TerminateProcess(ended.hProcess, 0);
    ::WaitForSingleObject(ended.hProcess, 10000);

    HANDLE release = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE waiting = ::CreateThread(nullptr, 0, WaitForEvent, release, 0, nullptr);
    HANDLE finished = ::CreateThread(nullptr, 0, ReturnAtOnce, nullptr, 0, nullptr);
    ASSERT_TRUE(waiting && finished);
    ::WaitForSingleObject(finished, 10000);
    // The open handles keep the ended ids from being given out again.
    const DWORD self = ::GetCurrentProcessId();

    view.Set(0, live.dwProcessId, live.dwThreadId, 1);
    view.Set(1, ended.dwProcessId, ended.dwThreadId, 1);
    view.Set(2, self, ::GetCurrentThreadId(), 3);
    view.Set(3, self, ::GetThreadId(finished), 1);
    view.Set(4, self, ::GetThreadId(waiting), 2);
    view.Set(6, 0x7FFFFFF0, 0x7FFFFFF4, 1);  // ids no process ever had
    view.layout()->entryCount = 7;

    EXPECT_EQ(3, host.Sweep());
    for (uint32_t slot : {1u, 3u, 6u}) EXPECT_TRUE(view.IsClear(slot)) << "slot " << slot;
    EXPECT_EQ(live.dwThreadId, view.entries()[0].threadId);
    EXPECT_EQ(3, view.entries()[2].useCount);
    EXPECT_EQ(0x1002u, view.entries()[2].localizer);
    EXPECT_EQ(2, view.entries()[4].useCount);
    // Free slots at the top are no longer counted; those below a used one are.
    EXPECT_EQ(5, view.layout()->entryCount);

    ::SetEvent(release);
    ::WaitForSingleObject(waiting, 10000);
    ::TerminateProcess(live.hProcess, 0);
    ::WaitForSingleObject(live.hProcess, 10000);
    EXPECT_EQ(2, host.Sweep());
    EXPECT_EQ(3, view.layout()->entryCount);
    view.Set(2, 0, 0, 0);
    EXPECT_EQ(0, host.Sweep());
    EXPECT_EQ(0, view.layout()->entryCount);

    for (HANDLE handle :
         {live.hProcess, live.hThread, ended.hProcess, ended.hThread, release, waiting, finished}) {
        ::CloseHandle(handle);
    }
}
