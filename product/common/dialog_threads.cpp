#include "dialog_threads.h"

#include <commctrl.h>
#include <io.h>
#include <objbase.h>
#include <process.h>
#include <shlwapi.h>

#include <cstdio>

#include <memory>
#include <vector>

#include "common/message_box_watch.h"
#include "common/sheet_host.h"
#include "support/handles.h"

namespace zrvproduct {

namespace {

// The sheet's Apply button (comctl32's control id).
constexpr int kApplyButtonId = 0x3021;

// What one dialog thread did; written by that thread, read by the starter
// once the thread has ended.
struct DialogRun {
    unsigned number = 0;
    DWORD threadId = 0;
    const DialogLoad* load = nullptr;
    const OpenSheetFn* open = nullptr;
    std::vector<std::wstring> problems;
};

std::wstring TabText(HWND sheet, int index) {
    wchar_t text[260] = {};
    TCITEMW item = {};
    item.mask = TCIF_TEXT;
    item.pszText = text;
    item.cchTextMax = 260;
    TabCtrl_GetItem(PropSheet_GetTabControl(sheet), index, &item);
    return text;
}

struct EditSearch {
    HWND found = nullptr;
};

BOOL CALLBACK FindTypableEdit(HWND child, LPARAM param) {
    wchar_t className[16] = {};
    ::GetClassNameW(child, className, 16);
    const LONG style = ::GetWindowLongW(child, GWL_STYLE);
    if (::lstrcmpiW(className, L"Edit") == 0 && !(style & ES_READONLY) &&
        ::IsWindowEnabled(child) && ::IsWindowVisible(child)) {
        reinterpret_cast<EditSearch*>(param)->found = child;
        return FALSE;
    }
    return TRUE;
}

// Types text into the page's first enabled, writable edit field, a key at a
// time. False when the page has none.
bool TypeIntoFirstField(HWND page, const std::wstring& text) {
    EditSearch search;
    ::EnumChildWindows(page, &FindTypableEdit, reinterpret_cast<LPARAM>(&search));
    if (!search.found) return false;
    ::SetFocus(search.found);
    for (wchar_t c : text) ::SendMessageW(search.found, WM_CHAR, c, 1);
    return true;
}

// Shows every tab, types, applies. The sheet stays open.
void DriveSheet(HWND sheet, size_t pagesAdded, DialogRun& run) {
    const int tabs = TabCtrl_GetItemCount(PropSheet_GetTabControl(sheet));
    if (tabs < 0 || static_cast<size_t>(tabs) != pagesAdded) {
        std::wstring titles;
        for (int i = 0; i < tabs; ++i) titles += (i ? L", " : L"") + TabText(sheet, i);
        run.problems.push_back(std::to_wstring(pagesAdded) + L" pages added, " +
                               std::to_wstring(tabs) + L" tabs shown (" + titles + L")");
    }
    bool typed = false;
    const std::wstring text = run.load->typed + std::to_wstring(run.number);
    for (int i = 0; i < tabs; ++i) {
        const BOOL selected = PropSheet_SetCurSel(sheet, nullptr, i);
        PumpMessages(sheet);
        HWND page = PropSheet_IndexToHwnd(sheet, i);
        if (!selected || !page) {
            run.problems.push_back(L"tab " + std::to_wstring(i) + L" (" + TabText(sheet, i) +
                                   L") shows no page: its dialog was not created");
            continue;
        }
        if (!typed && TypeIntoFirstField(page, text)) {
            typed = true;
            PumpMessages(sheet);
            HWND apply = ::GetDlgItem(sheet, kApplyButtonId);
            if (apply && !::IsWindowEnabled(apply)) {
                run.problems.push_back(L"typing into tab " + std::to_wstring(i) +
                                       L" did not mark the sheet changed");
            }
        }
    }
    if (!typed) run.problems.push_back(L"no page had a field to type into");
    // A page that could not save waits in a message box for a user.
    MessageBoxWatch watch(sheet, [&run](HWND, const std::wstring& text) {
        run.problems.push_back(L"Apply was refused: " + text);
    });
    PropSheet_PressButton(sheet, PSBTN_APPLYNOW);
    PumpMessages(sheet);
}

void RunOneDialog(DialogRun& run) {
    const HRESULT joined = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(joined)) {
        run.problems.push_back(L"CoInitializeEx failed");
        return;
    }
    {
        OpenedSheet opened = (*run.open)();
        if (!opened.problem.empty()) run.problems.push_back(opened.problem);
        if (!opened.sheet && opened.pagesAdded > 0) {
            run.problems.push_back(L"PropertySheetW failed with " +
                                   std::to_wstring(opened.pagesAdded) + L" pages added");
        } else if (opened.sheet) {
            DriveSheet(opened.sheet, opened.pagesAdded, run);
            ::DestroyWindow(opened.sheet);
        }
        PumpMessages(nullptr);
    }
    ::CoUninitialize();
}

unsigned __stdcall DialogThread(void* argument) {
    std::unique_ptr<std::shared_ptr<DialogRun>> held(
        static_cast<std::shared_ptr<DialogRun>*>(argument));
    DialogRun& run = **held;
    try {
        RunOneDialog(run);
    } catch (...) {
        run.problems.push_back(L"an exception ended the dialog thread");
    }
    return 0;
}

struct Running {
    zrv::unique_handle thread;
    std::shared_ptr<DialogRun> run;
};

void Report(FILE* report, unsigned number, DWORD threadId, const std::wstring& problem) {
    std::fwprintf(report, L"dialog %u (thread %lu): %ls\n", number,
                  static_cast<unsigned long>(threadId), problem.c_str());
    std::fflush(report);
}

// Watches the dialog threads from a thread of its own that makes no window
// call: under Wine a hung dialog thread may hold the process's window lock,
// and a starter waiting in a window call would hang with it. At the first
// thread past the bound it reports every such thread and ends the process.
class HangWatch {
  public:
    HangWatch(DWORD boundMs, FILE* report) : m_boundMs(boundMs), m_report(report) {
        ::InitializeCriticalSection(&m_lock);
        m_stop.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        m_thread.reset(
            reinterpret_cast<HANDLE>(::_beginthreadex(nullptr, 0, &Watch, this, 0, nullptr)));
    }
    HangWatch(const HangWatch&) = delete;
    HangWatch& operator=(const HangWatch&) = delete;
    ~HangWatch() {
        ::SetEvent(m_stop.get());
        if (m_thread) ::WaitForSingleObject(m_thread.get(), INFINITE);
        ::DeleteCriticalSection(&m_lock);
    }

    void Started(unsigned number, DWORD threadId) {
        ::EnterCriticalSection(&m_lock);
        m_running.push_back({number, threadId, ::GetTickCount()});
        ::LeaveCriticalSection(&m_lock);
    }
    void Ended(unsigned number) {
        ::EnterCriticalSection(&m_lock);
        for (size_t i = 0; i < m_running.size(); ++i) {
            if (m_running[i].number == number) {
                m_running.erase(m_running.begin() + i);
                break;
            }
        }
        ::LeaveCriticalSection(&m_lock);
    }

  private:
    struct Entry {
        unsigned number;
        DWORD threadId;
        DWORD startTick;
    };

    static unsigned __stdcall Watch(void* argument) {
        auto* watch = static_cast<HangWatch*>(argument);
        while (::WaitForSingleObject(watch->m_stop.get(), 500) == WAIT_TIMEOUT) watch->Check();
        return 0;
    }

    void Check() {
        ::EnterCriticalSection(&m_lock);
        const DWORD now = ::GetTickCount();
        unsigned hung = 0;
        for (const Entry& entry : m_running) {
            if (now - entry.startTick < m_boundMs) continue;
            ++hung;
            Report(m_report, entry.number, entry.threadId,
                   L"the thread did not end within " + std::to_wstring(m_boundMs / 1000) + L" s");
        }
        if (hung) {
            std::fwprintf(m_report, L"%u threads did not end: the run stops here\n", hung);
            EndProcessNow(7);
        }
        ::LeaveCriticalSection(&m_lock);
    }

    const DWORD m_boundMs;
    FILE* const m_report;
    CRITICAL_SECTION m_lock;
    std::vector<Entry> m_running;
    zrv::unique_handle m_stop;
    zrv::unique_handle m_thread;
};

// The report the fault filter writes to; set while a load runs.
FILE* g_faultReport = nullptr;

// Names, before the process goes, the fault that ends it and the module it
// happened in, so that a run's log tells a fault in the module from one in
// the platform: "native code" is outside every module, where Wine's own Unix
// side (glibc, Xlib) runs and aborts. Written straight to the report's file:
// the fault may have come while the runtime's own locks were held.
LONG WINAPI ReportFault(EXCEPTION_POINTERS* pointers) {
    const EXCEPTION_RECORD* record = pointers ? pointers->ExceptionRecord : nullptr;
    if (!record || !g_faultReport) return EXCEPTION_CONTINUE_SEARCH;
    wchar_t module[MAX_PATH] = L"native code";
    HMODULE faulting = nullptr;
    ULONG_PTR offset = reinterpret_cast<ULONG_PTR>(record->ExceptionAddress);
    if (::GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            static_cast<LPCWSTR>(record->ExceptionAddress), &faulting) &&
        ::GetModuleFileNameW(faulting, module, MAX_PATH)) {
        offset -= reinterpret_cast<ULONG_PTR>(faulting);
    }
    char line[MAX_PATH + 128];
    const int length = std::snprintf(
        line, sizeof(line), "the process ends: exception 0x%08lx at %ls+0x%lx on thread %lu\n",
        static_cast<unsigned long>(record->ExceptionCode), ::PathFindFileNameW(module),
        static_cast<unsigned long>(offset), ::GetCurrentThreadId());
    DWORD written = 0;
    ::WriteFile(reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(g_faultReport))), line,
                static_cast<DWORD>(length), &written, nullptr);
    return EXCEPTION_CONTINUE_SEARCH;
}

bool StartDialog(const DialogLoad& load, const OpenSheetFn& open, unsigned number,
                 std::vector<Running>& running, HangWatch& watch, FILE* report) {
    auto run = std::make_shared<DialogRun>();
    run->number = number;
    run->load = &load;
    run->open = &open;
    auto* handed = new std::shared_ptr<DialogRun>(run);
    unsigned threadId = 0;
    zrv::unique_handle thread(reinterpret_cast<HANDLE>(
        ::_beginthreadex(nullptr, 0, &DialogThread, handed, CREATE_SUSPENDED, &threadId)));
    if (!thread) {
        delete handed;
        Report(report, number, 0, L"no thread could be started for it");
        return false;
    }
    run->threadId = threadId;
    watch.Started(number, threadId);
    ::ResumeThread(thread.get());
    running.push_back(Running{std::move(thread), std::move(run)});
    return true;
}

}  // namespace

DialogLoadOutcome RunDialogThreads(const DialogLoad& load, const OpenSheetFn& open, FILE* report) {
    DialogLoadOutcome outcome;
    const DWORD start = ::GetTickCount();
    auto mayStart = [&] {
        if (load.dialogs && outcome.started >= load.dialogs) return false;
        if (load.seconds && ::GetTickCount() - start >= load.seconds * 1000u) return false;
        return load.dialogs || load.seconds;
    };
    HangWatch watch(load.endBoundMs, report);
    g_faultReport = report;
    const LPTOP_LEVEL_EXCEPTION_FILTER previousFilter = ::SetUnhandledExceptionFilter(&ReportFault);
    std::vector<Running> running;
    for (;;) {
        while (running.size() < load.threads && mayStart()) {
            ++outcome.started;
            if (!StartDialog(load, open, outcome.started, running, watch, report)) {
                ++outcome.failed;
            }
        }
        if (running.empty()) break;

        std::vector<HANDLE> handles;
        for (const Running& r : running) handles.push_back(r.thread.get());
        const DWORD wait = ::MsgWaitForMultipleObjects(static_cast<DWORD>(handles.size()),
                                                       handles.data(), FALSE, 100, QS_ALLINPUT);
        if (wait < WAIT_OBJECT_0 + handles.size()) {
            Running ended = std::move(running[wait - WAIT_OBJECT_0]);
            running.erase(running.begin() + (wait - WAIT_OBJECT_0));
            watch.Ended(ended.run->number);
            for (const std::wstring& problem : ended.run->problems) {
                Report(report, ended.run->number, ended.run->threadId, problem);
            }
            if (!ended.run->problems.empty()) ++outcome.failed;
        } else if (wait == WAIT_OBJECT_0 + handles.size()) {
            PumpMessages(nullptr);
        }
    }
    ::SetUnhandledExceptionFilter(previousFilter);
    std::fwprintf(report, L"%u dialogs on up to %u threads in %.1f s: %u failed\n", outcome.started,
                  load.threads, (::GetTickCount() - start) / 1000.0, outcome.failed);
    std::fflush(report);
    return outcome;
}

void EndProcessNow(int code) {
    std::fflush(stdout);
    std::fflush(stderr);
    ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(code));
    for (;;) ::Sleep(INFINITE);
}

}  // namespace zrvproduct
