// A host that opens each properties dialog on a thread of its own, one after
// another, for a long time: nothing that the module or the servers it uses
// keep may grow per dialog.

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "common/localizer_map_host.h"
#include "common/process_counts.h"
#include "common/sheet_host.h"
#include "handlers/shell_fixtures.h"
#include "localization/map_fixture.h"
#include "support/handles.h"

using namespace zrvtest;

namespace {

struct DialogOutcome {
    size_t pages = 0;
    int pageWindows = 0;
    bool categoryListHosted = false;
};

BOOL CALLBACK FindHostWithControl(HWND window, LPARAM found) {
    wchar_t name[32] = {};
    ::GetClassNameW(window, name, ARRAYSIZE(name));
    if (::lstrcmpiW(name, L"AtlAxWin80") == 0 && ::GetWindow(window, GW_CHILD)) {
        *reinterpret_cast<bool*>(found) = true;
        return FALSE;
    }
    return TRUE;
}

// Whether the page shows a control window inside a host window, at any depth.
bool HostsAControl(HWND page) {
    bool found = false;
    ::EnumChildWindows(page, &FindHostWithControl, reinterpret_cast<LPARAM>(&found));
    return found;
}

// One dialog on the calling thread, which is in its apartment: every tab
// visited, the sheet closed.
DialogOutcome ShowDialog(const std::wstring& file) {
    DialogOutcome outcome;
    zrvproduct::CollectedPages collected = zrvproduct::CollectPages({file});
    outcome.pages = collected.pages.size();
    HWND sheet = zrvproduct::CreateModelessSheet(file, collected.pages);
    if (!sheet) return outcome;
    for (int i = 0; i < static_cast<int>(outcome.pages); ++i) {
        PropSheet_SetCurSel(sheet, nullptr, i);
        zrvproduct::PumpMessages(sheet);
        HWND page = PropSheet_IndexToHwnd(sheet, i);
        if (!page) continue;
        ++outcome.pageWindows;
        if (HostsAControl(page)) outcome.categoryListHosted = true;
    }
    ::DestroyWindow(sheet);
    return outcome;
}

// One dialog the way a file browser shows it: a new thread and apartment,
// every tab visited, the sheet closed, the apartment left, the thread ended.
DialogOutcome OpenDialogOnItsOwnThread(const std::wstring& file) {
    DialogOutcome outcome;
    std::thread thread([&] {
        if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return;
        outcome = ShowDialog(file);
        ::CoUninitialize();
    });
    thread.join();
    return outcome;
}

// A dialog thread that opens its sheet, visits every tab and then stops, as
// a thread does just before its host kills it.
struct KilledDialog {
    std::wstring file;
    HANDLE shown;
};

DWORD WINAPI ShowSheetThenHang(void* argument) {
    auto* dialog = static_cast<KilledDialog*>(argument);
    if (SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        zrvproduct::CollectedPages collected = zrvproduct::CollectPages({dialog->file});
        const int pages = static_cast<int>(collected.pages.size());
        HWND sheet = zrvproduct::CreateModelessSheet(dialog->file, collected.pages);
        for (int i = 0; sheet && i < pages; ++i) {
            PropSheet_SetCurSel(sheet, nullptr, i);
            zrvproduct::PumpMessages(sheet);
        }
    }
    ::SetEvent(dialog->shown);
    ::Sleep(INFINITE);
    return 0;
}

int DialogCount() {
    const char* text = std::getenv("ZRV_DIALOG_THREADS");
    const int count = text ? std::atoi(text) : 0;
    // A thing kept per dialog shows after a few dozen: the bounds below
    // leave no room for one server object, handle or kilobyte per dialog.
    return count > 0 ? count : 100;
}

// Heap that may stay in use after count dialogs: about 36 bytes per ended
// thread are Wine's own (the design floor's dialogs, without the module,
// keep the same), and its heap may grow by a few blocks of its own once.
// A kilobyte per dialog leaves room for that, and for nothing of ours.
SIZE_T HeapAllowance(int count) { return 16 * 1024 + 1024 * static_cast<SIZE_T>(count); }

TEST(SlowDialogThreads, ManyDialogsOnThreadsOfTheirOwnLeaveNothingBehind) {
    zrvproduct::LocalizerMapHost host;
    ASSERT_TRUE(host.ok());
    ScratchFolder folder(L"dialogthreads");
    const std::wstring file = folder.File(L"Report.doc", "content");
    // The first dialogs load what stays loaded: the servers, the control,
    // the platform's libraries and their caches.
    for (int i = 0; i < 20; ++i) OpenDialogOnItsOwnThread(file);
    const ProcessCounts before = CurrentProcessCounts();
    const LONG aliveBefore = AppServicesStats().alive;

    const int count = DialogCount();
    const DWORD start = ::GetTickCount();
    int incomplete = 0;
    for (int i = 0; i < count; ++i) {
        const DialogOutcome outcome = OpenDialogOnItsOwnThread(file);
        if (outcome.pages != 3 || outcome.pageWindows != 3 || !outcome.categoryListHosted) {
            if (++incomplete <= 5) {
                ADD_FAILURE() << "dialog " << i << ": " << outcome.pages << " pages, "
                              << outcome.pageWindows << " page windows, category list "
                              << (outcome.categoryListHosted ? "hosted" : "missing");
            }
        }
    }
    const DWORD elapsed = ::GetTickCount() - start;
    ::Sleep(200);  // the last General page's worker ends on its own
    const ProcessCounts after = CurrentProcessCounts();
    const ServerStats servers = AppServicesStats();
    const LONG aliveAfter = servers.alive;
    std::printf("%d dialogs on threads of their own in %lu ms (%.1f ms each)\n", count,
                static_cast<unsigned long>(elapsed), static_cast<double>(elapsed) / count);
    std::printf("  server objects alive: %ld -> %ld\n", aliveBefore, aliveAfter);
    std::printf("  before: %s\n  after:  %s\n", Describe(before).c_str(), Describe(after).c_str());
    std::printf(
        "  heap in use per dialog: %+.0f bytes\n",
        (static_cast<double>(after.heapBytes) - static_cast<double>(before.heapBytes)) / count);

    EXPECT_EQ(0, incomplete) << "dialogs that did not show all three pages";
    EXPECT_GT(servers.created, count) << "the in-process server was not used";
    EXPECT_LE(aliveAfter, aliveBefore + 3) << "server objects left per ended thread";
    EXPECT_LE(after.threads, before.threads + 2);
    if (before.handles >= 0 && after.handles >= 0) {
        EXPECT_LE(after.handles, before.handles + 8);
    }
    EXPECT_LE(after.heapBytes, before.heapBytes + HeapAllowance(count));
}

// A few dialog threads that live long and show one dialog after another:
// nothing grows per dialog on a thread that stays either.
TEST(SlowDialogThreads, LongLivedDialogThreadsKeepNothingPerDialog) {
    zrvproduct::LocalizerMapHost host;
    ASSERT_TRUE(host.ok());
    ScratchFolder folder(L"longdialogs");
    const std::wstring file = folder.File(L"Report.doc", "content");
    constexpr int kThreads = 3;
    const int count = std::max(DialogCount() / 5, 10);
    ProcessCounts before, after;
    LONG aliveBefore = 0, aliveAfter = 0;
    int incomplete = 0;
    // Each round shows one dialog on every thread, the threads taking turns.
    std::vector<std::thread> dialogThreads;
    zrv::unique_handle go[kThreads], done(::CreateSemaphoreW(nullptr, 0, kThreads, nullptr));
    std::atomic<bool> stop{false};
    for (int t = 0; t < kThreads; ++t) {
        go[t].reset(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
        dialogThreads.emplace_back([&, t] {
            ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
            while (::WaitForSingleObject(go[t].get(), INFINITE) == WAIT_OBJECT_0 && !stop) {
                const DialogOutcome outcome = ShowDialog(file);
                if (outcome.pageWindows != 3 || !outcome.categoryListHosted) ++incomplete;
                ::ReleaseSemaphore(done.get(), 1, nullptr);
            }
            ::CoUninitialize();
        });
    }
    auto round = [&] {
        for (int t = 0; t < kThreads; ++t) {
            ::SetEvent(go[t].get());
            ::WaitForSingleObject(done.get(), INFINITE);
        }
    };
    for (int i = 0; i < 5; ++i) round();
    ::Sleep(200);
    before = CurrentProcessCounts();
    aliveBefore = AppServicesStats().alive;
    for (int i = 0; i < count; ++i) round();
    ::Sleep(200);  // the last General pages' workers end on their own
    after = CurrentProcessCounts();
    aliveAfter = AppServicesStats().alive;
    stop = true;
    for (int t = 0; t < kThreads; ++t) ::SetEvent(go[t].get());
    for (std::thread& thread : dialogThreads) thread.join();

    std::printf("%d dialogs on %d long-lived threads\n", count * kThreads, kThreads);
    std::printf("  server objects alive: %ld -> %ld\n", aliveBefore, aliveAfter);
    std::printf("  before: %s\n  after:  %s\n", Describe(before).c_str(), Describe(after).c_str());
    EXPECT_EQ(0, incomplete) << "dialogs that did not show all three pages";
    EXPECT_LE(aliveAfter, aliveBefore + 3) << "server objects left per dialog";
    if (before.handles >= 0 && after.handles >= 0) {
        EXPECT_LE(after.handles, before.handles + 8);
    }
    EXPECT_LE(after.heapBytes, before.heapBytes + HeapAllowance(count * kThreads));
}

// A host that kills some of its dialog threads while their sheets are open
// (TerminateThread: no window, page or apartment of theirs is ever taken
// down): the dialogs of the threads that live on must not notice.
TEST(SlowDialogThreads, DialogThreadsKilledWithTheirSheetsOpenStallNoOther) {
    zrvproduct::LocalizerMapHost host;
    ASSERT_TRUE(host.ok());
    ScratchFolder folder(L"killeddialogs");
    const std::wstring file = folder.File(L"Report.doc", "content");
    zrv::unique_handle shown(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    KilledDialog killed{file, shown.get()};
    for (int i = 0; i < 40; ++i) {
        zrv::unique_handle thread(
            ::CreateThread(nullptr, 0, &ShowSheetThenHang, &killed, 0, nullptr));
        ASSERT_TRUE(thread);
        ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(shown.get(), 60000)) << "dialog " << i;
        ::TerminateThread(thread.get(), 1);
        ::WaitForSingleObject(thread.get(), INFINITE);

        const DWORD start = ::GetTickCount();
        const DialogOutcome outcome = OpenDialogOnItsOwnThread(file);
        EXPECT_EQ(3, outcome.pageWindows) << "dialog after kill " << i;
        EXPECT_TRUE(outcome.categoryListHosted) << "dialog after kill " << i;
        EXPECT_LT(::GetTickCount() - start, 30000u) << "dialog after kill " << i;
        if (HasFailure()) return;
    }
}

}  // namespace
