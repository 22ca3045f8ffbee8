// The map holds up against peers that die, ids that the system hands out
// again, and a module that is unloaded while its threads live on.

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <memory>
#include <thread>

#include "common/localizer_map_host.h"
#include "common/test_paths.h"
#include "handlers/shell_fixtures.h"
#include "localization/fake_localizer.h"
#include "localization/localizer.h"
#include "localization/map_fixture.h"
#include "localization/registrations.h"
#include "module/ids.h"
#include "support/com_ptr.h"
#include "support/handles.h"

using namespace zrvtest;

namespace {

constexpr DWORD kDeadPointer = 0x0BADF00D;

// Child roles, run from this program by the tests below.
bool ChildRole(const wchar_t* role) {
    wchar_t value[32] = {};
    return ::GetEnvironmentVariableW(L"ZRV_TEST_MAP_CHILD", value, 32) &&
           std::wstring(value) == role;
}

TEST(MapChild, DieHoldingTheMutex) {
    if (!ChildRole(L"mutex")) GTEST_SKIP();
    HANDLE mutex = ::CreateMutexW(nullptr, FALSE, kLocalizerMutexName);
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(mutex, 5000));
    ::TerminateProcess(::GetCurrentProcess(), 0);
}

TEST(MapChild, DieLeavingAnEntry) {
    if (!ChildRole(L"entry")) GTEST_SKIP();
    RunOnNewThread([] {
        CString title;
        EXPECT_EQ(S_OK, title.LoadLocalizedString(105));
        ::TerminateProcess(::GetCurrentProcess(), MapView().FindThread() >= 0 ? 0 : 1);
    });
}

DWORD WINAPI AddRecords(void* count) {
    for (ULONG_PTR id = 1; id <= reinterpret_cast<ULONG_PTR>(count); ++id)
        zrv::RememberLocalizerRegistration(0, 0x40000 + static_cast<DWORD>(id), kDeadPointer);
    return 0;
}
DWORD WINAPI ReadRecords(void* started) {
    ::SetEvent(static_cast<HANDLE>(started));
    for (;;) zrv::IsOwnRegistration(0, kDeadPointer);
}
DWORD WINAPI LetGoOfRecords(void*) {
    ForgetLocalizerRegistrations(true);
    return 0;
}
bool RunsWithin(LPTHREAD_START_ROUTINE body, DWORD ms, ULONG_PTR param = 0) {
    HANDLE thread = ::CreateThread(nullptr, 0, body, reinterpret_cast<void*>(param), 0, nullptr);
    const bool ended = ::WaitForSingleObject(thread, ms) == WAIT_OBJECT_0;
    ::CloseHandle(thread);
    return ended;
}

// Whether a suspended thread stands in the system's own code (the records'
// lock, and the wake-up of its waiters) rather than in the module's loop.
bool StandsInNtdll(HANDLE thread) {
    CONTEXT context = {};
    context.ContextFlags = CONTEXT_CONTROL;
    if (!::GetThreadContext(thread, &context)) return false;
    HMODULE at = nullptr;
    return ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                    GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                reinterpret_cast<LPCWSTR>(context.Eip), &at) &&
           at == ::GetModuleHandleW(L"ntdll.dll");
}

// Ends the way a process ends while one of its threads reads the records:
// that thread is stopped where it stands, then the module lets go of its
// registrations. Exit code 1 when letting go hung. Role "table": many records
// keep the reader inside the table, holding its lock, most of the time. Role
// "lock": the reader is stopped only inside the system's side of the lock,
// whose release wakes waiters through a table of the system's own.
TEST(MapChild, EndWhileAThreadReadsTheRecords) {
    const bool inTable = ChildRole(L"table");
    if (!inTable && !ChildRole(L"lock")) GTEST_SKIP();
    ASSERT_TRUE(RunsWithin(AddRecords, 2000, inTable ? 200 : 1));
    // Stopped only once it reads: a thread stopped while it still starts up
    // holds the loader's lock, and every later thread would wait on it.
    const zrv::unique_handle started(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const zrv::unique_handle reader(
        ::CreateThread(nullptr, 0, ReadRecords, started.get(), 0, nullptr));
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(started.get(), 5000));
    ::Sleep(2);
    // Suspended, not killed: a process's end stops its other threads where
    // they stand, while a thread killed mid-step leaves more behind.
    for (int tries = 0; tries < 5000; ++tries) {
        ::SuspendThread(reader.get());
        if (inTable || StandsInNtdll(reader.get())) break;
        ::ResumeThread(reader.get());
        ::Sleep(0);
    }
    ::TerminateProcess(::GetCurrentProcess(), RunsWithin(LetGoOfRecords, 5000) ? 0 : 1);
}

// Runs a child role and waits for it to end. The process handle stays open
// so that its id is not given out again.
struct Child {
    zrv::unique_handle process;
    DWORD exitCode = STILL_ACTIVE;

    explicit Child(const wchar_t* role) {
        ::SetEnvironmentVariableW(L"ZRV_TEST_MAP_CHILD", role);
        wchar_t self[MAX_PATH];
        ::GetModuleFileNameW(nullptr, self, MAX_PATH);
        process = StartProgram(L"\"" + std::wstring(self) + L"\" --gtest_filter=MapChild.*");
        if (process) {
            ::WaitForSingleObject(process.get(), 60000);
            ::GetExitCodeProcess(process.get(), &exitCode);
        }
        ::SetEnvironmentVariableW(L"ZRV_TEST_MAP_CHILD", nullptr);
    }
    DWORD Id() const noexcept { return ::GetProcessId(process.get()); }
};

// Makes a page of the module: its constructor looks up the tab's title.
void ConstructPage(HMODULE module, const std::wstring& file) {
    using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
    auto get = reinterpret_cast<GetClassObject>(
        reinterpret_cast<void*>(::GetProcAddress(module, "DllGetClassObject")));
    ASSERT_TRUE(get);
    zrv::com_ptr<IClassFactory> factory;
    ASSERT_EQ(S_OK, get(CLSID_ZRVPropPage_Category, IID_IClassFactory, factory.put_void()));
    zrv::com_ptr<IShellExtInit> init;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IShellExtInit, init.put_void()));
    init->Initialize(nullptr, DropData({file}).get(), nullptr);
}

// A thread of its own that the test steps through: each step runs on it.
class SteppedThread {
  public:
    SteppedThread() : m_thread([this] { Run(); }) {}
    ~SteppedThread() { Finish(); }
    void Step(std::function<void()> step) {
        m_step = std::move(step);
        ::SetEvent(m_go);
        ::WaitForSingleObject(m_done, INFINITE);
    }
    void Finish() {
        if (!m_thread.joinable()) return;
        Step(nullptr);
        m_thread.join();
    }
    DWORD id() const { return m_id; }

  private:
    void Run() {
        m_id = ::GetCurrentThreadId();
        ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        for (;;) {
            ::WaitForSingleObject(m_go, INFINITE);
            if (!m_step) break;
            m_step();
            ::SetEvent(m_done);
        }
        ::CoUninitialize();
        ::SetEvent(m_done);
    }
    HANDLE m_go = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE m_done = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    std::function<void()> m_step;
    DWORD m_id = 0;
    std::thread m_thread;
};

class MapFaults : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(host.ok() && view.ok()); }
    void OnThread(const std::function<void()>& body) {
        RunOnNewThread([&] {
            body();
            ForgetLocalizerRegistrations(false);
        });
    }
    LONG FindProcess(DWORD processId) const {
        for (LONG i = 0; i < view.entryCount(); ++i)
            if (view.entry(i).processId == processId) return i;
        return -1;
    }
    // Sweeps are the tests' own unless a test starts a sweeping host.
    zrvproduct::LocalizerMapHost host{0};
    MapView view;
};

TEST_F(MapFaults, AMutexLeftByADeadPeerIsTakenAndGivenBack) {
    Child child(L"mutex");
    ASSERT_NE(STILL_ACTIVE, child.exitCode);
    OnThread([&] {
        CZRVLocalizer localizer;
        EXPECT_GE(localizer.SlotIndex(), 0) << "an abandoned mutex counts as acquired";
        // This thread is still alive: the mutex must be free for everyone else.
        DWORD wait = WAIT_FAILED;
        std::thread([&] {
            HANDLE mutex =
                ::OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, kLocalizerMutexName);
            wait = ::WaitForSingleObject(mutex, 0);
            if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) ::ReleaseMutex(mutex);
            ::CloseHandle(mutex);
        }).join();
        EXPECT_EQ(WAIT_OBJECT_0, wait) << "the lookup kept the mutex it took over";
    });
}

TEST_F(MapFaults, ThreadDetachClearsTheEntryWithoutTheMutex) {
    ScratchFolder folder(L"detach-held");
    const std::wstring file = folder.File(L"a.txt");
    HMODULE module = ::GetModuleHandleW(L"ZRVPropHelper.dll");
    ASSERT_TRUE(module);
    LONG slot = -1;
    HANDLE mutex = ::CreateMutexW(nullptr, FALSE, kLocalizerMutexName);
    {
        SteppedThread thread;
        thread.Step([&] {
            ConstructPage(module, file);
            slot = view.FindThread();
        });
        ASSERT_GE(slot, 0);
        ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(mutex, 0));  // a peer holds it now
        const LONG count = view.entryCount();
        thread.Finish();
        EXPECT_EQ(0u, view.entry(slot).processId) << "the entry stayed behind its thread";
        EXPECT_EQ(0, view.entry(slot).useCount);
        EXPECT_EQ(0u, view.entry(slot).localizer);
        EXPECT_EQ(count, view.entryCount()) << "entryCount is the mutex holder's to change";
        ::ReleaseMutex(mutex);
    }
    ::CloseHandle(mutex);
}

TEST_F(MapFaults, EntriesWithOurIdsAreTrustedOnlyWhenWeRegisteredThem) {
    const std::string saved = view.Snapshot();
    // Left by an ended process or thread that had our ids: never dereferenced,
    // the slot is taken over.
    OnThread([&] {
        const LONG planted =
            view.Append(::GetCurrentProcessId(), ::GetCurrentThreadId(), 1, kDeadPointer);
        ASSERT_GE(planted, 0);
        {
            CZRVLocalizer localizer;
            EXPECT_EQ(planted, localizer.SlotIndex());
            EXPECT_NE(kDeadPointer, view.entry(planted).localizer);
            EXPECT_EQ(2, view.entry(planted).useCount);
        }
        EXPECT_EQ(1, view.entry(planted).useCount);
        CZRVLocalizer again;
        EXPECT_EQ(planted, again.SlotIndex()) << "our own registration is used from then on";
    });
    // An earlier thread of this process with the same id, recorded as ours:
    // the record was made by another thread, which is what an ended thread
    // whose id came back looks like.
    OnThread([&] {
        const DWORD self = ::GetCurrentThreadId();
        const LONG planted = view.Append(::GetCurrentProcessId(), self, 1, kDeadPointer);
        std::thread([&] {
            zrv::RememberLocalizerRegistration(planted, self, kDeadPointer);
        }).join();
        CZRVLocalizer localizer;
        EXPECT_EQ(planted, localizer.SlotIndex());
        EXPECT_NE(kDeadPointer, view.entry(planted).localizer);
    });
    // Our ids and no pointer: the slot is reused, not passed over each time.
    OnThread([&] {
        const LONG planted = view.Append(::GetCurrentProcessId(), ::GetCurrentThreadId(), 1, 0);
        const LONG count = view.entryCount();
        const ServerStats before = AppServicesStats();
        for (int i = 0; i < 3; ++i) {
            CString title;
            EXPECT_EQ(S_OK, title.LoadLocalizedString(105));
        }
        EXPECT_EQ(count, view.entryCount());
        EXPECT_NE(0u, view.entry(planted).localizer);
        EXPECT_EQ(before.created + 1, AppServicesStats().created);
    });
    view.Restore(saved);
}

TEST_F(MapFaults, TheMapsCreatorClearsADeadProcessesEntriesWhileItRuns) {
    zrvproduct::LocalizerMapHost sweeping;  // joins the map and sweeps it
    Child child(L"entry");
    ASSERT_EQ(0u, child.exitCode) << "the child registered nothing";
    const DWORD deadline = ::GetTickCount() + 15000;
    while (FindProcess(child.Id()) >= 0 && ::GetTickCount() < deadline) ::Sleep(100);
    EXPECT_LT(FindProcess(child.Id()), 0) << "the dead child's entry is still there";
}

TEST_F(MapFaults, UnloadingKeepsTheEntriesOfLiveThreads) {
    ScratchFolder folder(L"unload");
    const std::wstring file = folder.File(L"a.txt");
    // A copy of its own, so that no other load of the module keeps it in.
    const std::wstring copy = folder.path() + L"\\ZRVPropHelperUnload.dll";
    ASSERT_TRUE(::CopyFileW(ModulePath().c_str(), copy.c_str(), FALSE));
    HMODULE module = ::LoadLibraryW(copy.c_str());
    ASSERT_TRUE(module);
    SteppedThread thread;
    LONG slot = -1;
    DWORD server = 0;
    thread.Step([&] {
        ConstructPage(module, file);
        slot = view.FindThread();
        if (slot >= 0) server = view.entry(slot).localizer;
    });
    ASSERT_GE(slot, 0);
    ::FreeLibrary(module);
    EXPECT_EQ(thread.id(), view.entry(slot).threadId) << "the live thread's entry went";
    HMODULE still = ::GetModuleHandleW(copy.c_str());
    ASSERT_TRUE(still) << "the module was unloaded while its entries live";
    thread.Step([&] {
        ConstructPage(still, file);
        EXPECT_EQ(slot, view.FindThread());
        EXPECT_EQ(server, view.entry(slot).localizer) << "a second server object";
    });
    thread.Finish();
    EXPECT_NE(thread.id(), view.entry(slot).threadId) << "the entry outlived its thread";
}

TEST_F(MapFaults, AClaimedSlotCountsOnlyItsNewHolders) {
    const std::string saved = view.Snapshot();
    // Counts left by peers that died: one in the middle of clearing a slot,
    // one after writing a slot but before growing the table over it.
    std::fill_n(reinterpret_cast<BYTE*>(view.map()->entries), view.capacity() * 16, BYTE{0});
    view.entryCount() = 0;
    view.Append(0, 0, 3, kDeadPointer);
    view.Append(::GetCurrentProcessId(), ::GetCurrentThreadId(), 1, 0);
    view.entry(2) = {0, 0, 3, kDeadPointer};
    OnThread([&] {
        CZRVLocalizer reused;
        EXPECT_EQ(0, reused.SlotIndex());
        EXPECT_EQ(2, view.entry(0).useCount);
        OnThread([&] {
            CZRVLocalizer appended;
            EXPECT_EQ(2, appended.SlotIndex());
            EXPECT_EQ(2, view.entry(2).useCount);
        });
    });
    view.Restore(saved);
}

TEST_F(MapFaults, ALookupNeverCountsDownAnEntryThatIsNoLongerItsThreads) {
    const std::string saved = view.Snapshot();
    OnThread([&] {
        auto lookup = std::make_unique<CZRVLocalizer>();
        const LONG slot = lookup->SlotIndex();
        ASSERT_GE(slot, 0);
        // Cleared behind the thread's back and claimed by another thread.
        const LocalizerMapEntry peer = {::GetCurrentProcessId() + 4, 0x1234, 1, kDeadPointer};
        view.entry(slot) = peer;
        lookup.reset();
        EXPECT_EQ(peer.processId, view.entry(slot).processId);
        EXPECT_EQ(1, view.entry(slot).useCount) << "another thread's entry was counted down";
    });
    view.Restore(saved);
}

TEST_F(MapFaults, ReleasingTheThreadsLocalizerLeavesAnEndedThreadsServerAlone) {
    OnThread([&] {
        FakeLocalizer ended;  // the server object of an ended thread that had our id
        const DWORD self = ::GetCurrentThreadId();
        const LONG planted = view.Append(::GetCurrentProcessId(), self, 1, Pointer(&ended));
        std::thread([&] {
            zrv::RememberLocalizerRegistration(planted, self, Pointer(&ended));
        }).join();
        ReleaseThreadLocalizer();
        EXPECT_EQ(1u, ended.refs) << "released from a thread that never held it";
    });
}

TEST(MapRestart, TheServerOfAMapThatWentIsGivenBackWhenTheThreadRegistersAgain) {
    RunOnNewThread([] {
        std::optional<zrvproduct::LocalizerMapHost> host;
        host.emplace(0);
        ASSERT_TRUE(host->created());
        CString text;
        EXPECT_EQ(S_OK, text.LoadLocalizedString(105));
        const LONG alive = AppServicesStats().alive;
        host.reset();
        host.emplace(0);
        ASSERT_TRUE(host->created()) << "the map outlived its creator";
        EXPECT_EQ(S_OK, text.LoadLocalizedString(105));
        ReleaseThreadLocalizer();
        EXPECT_EQ(alive - 1, AppServicesStats().alive) << "the first map's server object leaked";
        ForgetLocalizerRegistrations(false);
    });
}

TEST(ProcessEnd, LettingGoOfTheRegistrationsNeverWaitsOnAThreadThatWasStopped) {
    // Where the reader stands when it is stopped is chance: a few ends make
    // each place likely.
    for (int run = 0; run < 8; ++run) {
        Child child(run % 2 ? L"table" : L"lock");
        ASSERT_EQ(0u, child.exitCode) << "run " << run << ": the process hung in its end";
    }
}

}  // namespace
