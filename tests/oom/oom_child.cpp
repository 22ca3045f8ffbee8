// The child side of the allocation failure tests: one run of one scenario,
// the way the product's browser drives the module, with one allocation of
// the module failed. The parent reads what happened from the report file,
// the store and the exit code; a run that crashes or aborts writes no report.

#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "common/allocation_faults.h"
#include "common/import_hook.h"
#include "common/localizer_map_host.h"
#include "common/message_box_watch.h"
#include "common/sheet_host.h"
#include "common/test_paths.h"
#include "oom/oom_protocol.h"
#include "resources/resource.h"

namespace {

using namespace zrvoomtest;

struct ChildReport {
    std::vector<zrvproduct::HandlerOutcome> handlers;
    HRESULT canUnload = E_FAIL;
    std::wstring sizeText;
    bool workerEnded = true;
    // The user's edits that could be made (their controls were enabled),
    // the messages the pages showed, and whether OK closed the sheet.
    bool typedTitle = false;
    bool clickedBurn = false;
    int messages = 0;
    bool closed = false;
};

// The size worker's thread, caught as the module starts it: the walk is over
// when it ends.
HANDLE g_worker = nullptr;
zrvtest::ImportHook* g_beginThread = nullptr;

uintptr_t __cdecl RecordingBeginThread(void* security, unsigned stack,
                                       unsigned(__stdcall* start)(void*), void* argument,
                                       unsigned flags, unsigned* id) {
    using BeginThread = uintptr_t(__cdecl*)(void*, unsigned, unsigned(__stdcall*)(void*), void*,
                                            unsigned, unsigned*);
    const uintptr_t thread =
        g_beginThread->real<BeginThread>()(security, stack, start, argument, flags, id);
    if (thread && !g_worker) {
        ::DuplicateHandle(::GetCurrentProcess(), reinterpret_cast<HANDLE>(thread),
                          ::GetCurrentProcess(), &g_worker, SYNCHRONIZE, FALSE, 0);
    }
    return thread;
}

BOOL CALLBACK FindListBox(HWND window, LPARAM result) {
    wchar_t name[32] = {};
    ::GetClassNameW(window, name, ARRAYSIZE(name));
    if (::lstrcmpiW(name, L"ListBox") != 0) return TRUE;
    *reinterpret_cast<HWND*>(result) = window;
    return FALSE;
}

// The page window of the sheet that holds control id, opening every tab.
HWND PageWith(HWND sheet, int id) {
    const int count = TabCtrl_GetItemCount(PropSheet_GetTabControl(sheet));
    for (int i = 0; i < count; ++i) {
        PropSheet_SetCurSel(sheet, nullptr, i);
        zrvproduct::PumpMessages(sheet);
        HWND page = PropSheet_IndexToHwnd(sheet, i);
        if (page && ::GetDlgItem(page, id)) return page;
    }
    return nullptr;
}

// A user clicks only what is enabled (and Wine's radio buttons loop for
// good on a click when their whole group is disabled).
bool Click(HWND sheet, HWND page, int id) {
    HWND button = ::GetDlgItem(page, id);
    if (!::IsWindowEnabled(button)) return false;
    ::SendMessageW(button, BM_CLICK, 0, 0);
    zrvproduct::PumpMessages(sheet);
    return true;
}

// Moves a category into the document's list, as the user would with the
// arrow: the list fills from the control's catalogue after it is shown.
void AddCategory(HWND sheet, HWND page, const wchar_t* name) {
    HWND list = nullptr;
    ::EnumChildWindows(::GetDlgItem(page, IDC_CATEGORIES_AVAILABLE_FRAME), &FindListBox,
                       reinterpret_cast<LPARAM>(&list));
    if (!list) return;
    LRESULT index = LB_ERR;
    for (DWORD start = ::GetTickCount(); index == LB_ERR && ::GetTickCount() - start < 1000;) {
        zrvproduct::PumpMessagesFor(sheet, 10);
        index = ::SendMessageW(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                               reinterpret_cast<LPARAM>(name));
    }
    if (index == LB_ERR) return;
    ::SendMessageW(list, LB_SETSEL, TRUE, index);
    Click(sheet, page, IDC_CATEGORIES_ADD);
}

bool Type(HWND sheet, HWND page, int id, const wchar_t* text) {
    HWND edit = ::GetDlgItem(page, id);
    if (!::IsWindowEnabled(edit)) return false;
    ::SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
    ::SendMessageW(page, WM_COMMAND, MAKEWPARAM(id, EN_UPDATE), reinterpret_cast<LPARAM>(edit));
    ::SendMessageW(page, WM_COMMAND, MAKEWPARAM(id, EN_CHANGE), reinterpret_cast<LPARAM>(edit));
    zrvproduct::PumpMessages(sheet);
    return true;
}

// Every tab opened, a category added, the title typed, the expiration
// choice and the burn box clicked, then OK, as a user of the browser would.
// A page's message that its changes were not saved is answered with OK.
void EditAndConfirm(HWND sheet, ChildReport& report) {
    zrvproduct::MessageBoxWatch watch(sheet, [&](HWND, const std::wstring&) { ++report.messages; });
    if (HWND categories = PageWith(sheet, IDC_CATEGORIES_TITLE)) {
        AddCategory(sheet, categories, kAddedCategory);
        report.typedTitle = Type(sheet, categories, IDC_CATEGORIES_TITLE, kTypedTitle);
    }
    if (HWND lifeCycle = PageWith(sheet, IDC_LIFECYCLE_REMINDER)) {
        // The stored date's own choice, chosen again, and the burn box.
        Click(sheet, lifeCycle, IDC_LIFECYCLE_EXPIRE_CUSTOM);
        report.clickedBurn = Click(sheet, lifeCycle, IDC_LIFECYCLE_BURN_DISC);
    }
    PageWith(sheet, IDC_GENERAL_SIZE);
    PropSheet_PressButton(sheet, PSBTN_OK);
    for (DWORD start = ::GetTickCount();
         PropSheet_GetCurrentPageHwnd(sheet) && ::GetTickCount() - start < 300;) {
        zrvproduct::PumpMessagesFor(sheet, 5);
    }
    report.closed = !PropSheet_GetCurrentPageHwnd(sheet);
}

// Waits for the General page's walk to end, handling what it sends, and
// reads the figure it left.
void WatchWalk(HWND sheet, ChildReport& report) {
    HWND page = PageWith(sheet, IDC_GENERAL_SIZE);
    if (!page) return;
    if (g_worker) {
        const DWORD start = ::GetTickCount();
        report.workerEnded = false;
        while (::GetTickCount() - start < kWalkTimeoutMs) {
            if (::MsgWaitForMultipleObjects(1, &g_worker, FALSE, 10, QS_ALLINPUT) ==
                WAIT_OBJECT_0) {
                report.workerEnded = true;
                break;
            }
            zrvproduct::PumpMessages(sheet);
        }
    }
    zrvproduct::PumpMessages(sheet);
    wchar_t text[64] = {};
    ::GetDlgItemTextW(page, IDC_GENERAL_SIZE, text, ARRAYSIZE(text));
    report.sizeText = text;
}

void RunScenario(Scenario scenario, const std::wstring& path, ChildReport& report) {
    zrvproduct::CollectedPages collected = zrvproduct::CollectPages({path});
    report.handlers = collected.handlers;
    if (scenario == Scenario::Handlers) {
        zrvproduct::DestroyPages(collected.pages);
        return;
    }
    HWND sheet = zrvproduct::CreateModelessSheet(path, collected.pages);
    if (!sheet) return;
    zrvproduct::PumpMessages(sheet);
    if (scenario == Scenario::FolderWalk) {
        WatchWalk(sheet, report);
    } else {
        EditAndConfirm(sheet, report);
    }
    ::DestroyWindow(sheet);
    zrvproduct::PumpMessages(nullptr);
}

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    std::string utf8(text.size() * 3, '\0');
    utf8.resize(::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                      &utf8[0], static_cast<int>(utf8.size()), nullptr, nullptr));
    return utf8;
}

std::wstring Environment(const wchar_t* name) {
    wchar_t value[1024] = {};
    const DWORD length = ::GetEnvironmentVariableW(name, value, ARRAYSIZE(value));
    return length > 0 && length < ARRAYSIZE(value) ? value : std::wstring();
}

}  // namespace

TEST(OomChild, Run) {
    const std::wstring scenarioName = Environment(kScenarioVariable);
    if (scenarioName.empty()) GTEST_SKIP() << "run by the allocation failure tests";
    const Scenario scenario = ScenarioFromName(scenarioName);
    const unsigned long failAt = std::wcstoul(Environment(kFailAtVariable).c_str(), nullptr, 10);
    const unsigned long failSite =
        std::wcstoul(Environment(kFailSiteVariable).c_str(), nullptr, 16);
    const std::wstring failing = Environment(kFailCountVariable);
    const unsigned long failCount =
        failing.empty() ? 1 : std::wcstoul(failing.c_str(), nullptr, 10);

    // The product's main application publishes the map before any page.
    std::unique_ptr<zrvproduct::LocalizerMapHost> map;
    if (scenario == Scenario::SheetWithMap || scenario == Scenario::FolderWalk)
        map = std::make_unique<zrvproduct::LocalizerMapHost>(0);
    const HMODULE module = ::LoadLibraryW(zrvtest::ModulePath().c_str());
    ASSERT_TRUE(module);
    zrvtest::ImportHook beginThread(module, L"msvcrt.dll", "_beginthreadex",
                                    reinterpret_cast<void*>(&RecordingBeginThread));
    g_beginThread = &beginThread;

    ChildReport report;
    std::string hooked;
    unsigned long count = 0;
    std::string failedCall;
    std::string sites;
    {
        zrvtest::AllocationFaults faults(module, failAt, failCount, failSite);
        faults.NoteFailureIn(Environment(kReportVariable) + L".failed");
        for (const std::string& name : faults.Hooked()) hooked += name + " ";
        RunScenario(scenario, Environment(kPathVariable), report);
        faults.Disarm();
        count = faults.Count();
        failedCall = faults.FailedCall();
        char site[32];
        for (const auto& entry : faults.Sites()) {
            std::snprintf(site, sizeof(site), "%lx:%lu ", entry.first, entry.second);
            sites += site;
        }
    }
    using CanUnloadNow = HRESULT(WINAPI*)();
    report.canUnload = reinterpret_cast<CanUnloadNow>(
        reinterpret_cast<void*>(::GetProcAddress(module, "DllCanUnloadNow")))();

    std::string text = "hooked=" + hooked + "\nallocations=" + std::to_string(count) +
                       "\nfailed=" + failedCall + "\nsites=" + sites + "\n";
    char line[64];
    for (const zrvproduct::HandlerOutcome& outcome : report.handlers) {
        std::snprintf(line, sizeof(line), "handler=%08lx %08lx %08lx\n",
                      static_cast<unsigned long>(outcome.create),
                      static_cast<unsigned long>(outcome.initialize),
                      static_cast<unsigned long>(outcome.addPages));
        text += line;
    }
    std::snprintf(line, sizeof(line), "unload=%08lx\n",
                  static_cast<unsigned long>(report.canUnload));
    text += line;
    text += "worker=" + std::string(report.workerEnded ? "ended" : "running") + "\n";
    text += "size=" + Utf8(report.sizeText) + "\n";
    text += "edits=" + std::string(report.typedTitle ? "title " : "") +
            (report.clickedBurn ? "burn " : "") + "\n";
    text += "messages=" + std::to_string(report.messages) + "\n";
    text += "closed=" + std::string(report.closed ? "1" : "0") + "\n";
    ASSERT_TRUE(zrvtest::WriteFileBytes(Environment(kReportVariable), text));
}
