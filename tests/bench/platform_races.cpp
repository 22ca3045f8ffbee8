// The platform's own faults under several user-interface threads at once,
// shown with nothing but platform calls: no module, no product server, no
// property sheet. WINE-NOTES.md tells what each shows and how often.
//
//   platform_races classes [threads]
//       the threads, released together, each create the first window of
//       each standard control class in the process (the ones a property
//       page template names); prints every creation that failed
//   platform_races text [threads] [seconds]
//       the threads create edit controls in the default GUI font, give each
//       a text, and destroy it, over and over; ends with a line saying how
//       many were made, unless the process crashed first
//   platform_races windowthreads [threads] [seconds]
//       short-lived threads, that many at once, each making one top-level
//       window (and with it the thread's input context) and ending, as
//       dialog threads do; run it with WINEDEBUG=warn+heap to see the
//       process heap's blocks freed twice
//   platform_races atlclass [threads]
//       the threads, released together, each register atl80's control
//       hosting class (AtlAxWinInit) and make the first window of it, as the
//       first Categories pages of a process do; prints every window that
//       could not be made
//   platform_races atlinit
//       one thread enters its apartment, calls atl80's AtlAxWinInit once and
//       leaves the apartment; prints whether the apartment outlived that
//   platform_races killedwindow
//       a thread makes a window and is killed (TerminateThread); prints
//       whether the window still counts as one and how a send to it fails
//
// Exits with 7 when it saw a fault (a crash ends the process on its own).

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <process.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

constexpr wchar_t kControlClasses[][10] = {L"Button", L"Edit", L"Static", L"ComboBox", L"ListBox"};

HANDLE g_start = nullptr;
volatile LONG g_failures = 0;
volatile LONG g_made = 0;
volatile LONG g_stop = 0;

unsigned __stdcall FirstWindows(void*) {
    ::WaitForSingleObject(g_start, INFINITE);
    for (const wchar_t* name : kControlClasses) {
        HWND window = ::CreateWindowExW(0, name, L"", WS_POPUP, 0, 0, 40, 20, nullptr, nullptr,
                                        nullptr, nullptr);
        if (!window) {
            const DWORD error = ::GetLastError();
            ::InterlockedIncrement(&g_failures);
            std::wprintf(L"thread %lu: CreateWindowExW(%ls) failed, error %lu\n",
                         ::GetCurrentThreadId(), name, error);
            continue;
        }
        ::DestroyWindow(window);
    }
    return 0;
}

unsigned __stdcall OneWindow(void*) {
    HWND window = ::CreateWindowExW(0, L"Static", L"", WS_POPUP | WS_VISIBLE, 0, 0, 120, 40,
                                    nullptr, nullptr, nullptr, nullptr);
    HWND edit = ::CreateWindowExW(0, L"Edit", L"", WS_CHILD | WS_VISIBLE, 0, 0, 100, 20, window,
                                  nullptr, nullptr, nullptr);
    // Focus makes the thread's input context, as a dialog's first field does.
    ::SetFocus(edit);
    if (window) ::DestroyWindow(window);
    ::InterlockedIncrement(&g_made);
    return 0;
}

// Keeps count threads on OneWindow, a new one as each ends, for seconds.
void RunWindowThreads(int count, int seconds) {
    const DWORD end = ::GetTickCount() + static_cast<DWORD>(seconds) * 1000;
    std::vector<HANDLE> running;
    while (static_cast<LONG>(end - ::GetTickCount()) > 0 || !running.empty()) {
        while (static_cast<int>(running.size()) < count &&
               static_cast<LONG>(end - ::GetTickCount()) > 0) {
            const uintptr_t thread = ::_beginthreadex(nullptr, 0, &OneWindow, nullptr, 0, nullptr);
            if (!thread) break;
            running.push_back(reinterpret_cast<HANDLE>(thread));
        }
        if (running.empty()) break;
        const DWORD wait = ::WaitForMultipleObjects(static_cast<DWORD>(running.size()),
                                                    running.data(), FALSE, INFINITE);
        if (wait >= WAIT_OBJECT_0 + running.size()) break;
        ::CloseHandle(running[wait - WAIT_OBJECT_0]);
        running.erase(running.begin() + (wait - WAIT_OBJECT_0));
    }
}

unsigned __stdcall EditTexts(void*) {
    while (!::InterlockedCompareExchange(&g_stop, 0, 0)) {
        HWND edit = ::CreateWindowExW(0, L"Edit", L"", WS_POPUP | ES_AUTOHSCROLL, 0, 0, 120, 20,
                                      nullptr, nullptr, nullptr, nullptr);
        if (!edit) continue;
        ::SendMessageW(edit, WM_SETFONT,
                       reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)), 0);
        ::SetWindowTextW(edit, L"Quarterly Report.doc");
        ::DestroyWindow(edit);
        ::InterlockedIncrement(&g_made);
    }
    return 0;
}

using WinInitFn = BOOL(WINAPI*)();

WinInitFn AtlWinInit() {
    HMODULE atl = ::LoadLibraryW(L"atl80.dll");
    return atl ? reinterpret_cast<WinInitFn>(
                     reinterpret_cast<void*>(::GetProcAddress(atl, "AtlAxWinInit")))
               : nullptr;
}

unsigned __stdcall FirstHostWindow(void*) {
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const WinInitFn winInit = AtlWinInit();
    ::WaitForSingleObject(g_start, INFINITE);
    if (winInit) winInit();
    HWND window = ::CreateWindowExW(0, L"AtlAxWin80", nullptr, 0, 0, 0, 40, 20, nullptr, nullptr,
                                    nullptr, nullptr);
    if (!window) {
        const DWORD error = ::GetLastError();
        ::InterlockedIncrement(&g_failures);
        std::wprintf(L"thread %lu: CreateWindowExW(AtlAxWin80) failed, error %lu\n",
                     ::GetCurrentThreadId(), error);
    } else {
        ::DestroyWindow(window);
    }
    return 0;
}

unsigned __stdcall AtlInitOnce(void*) {
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const WinInitFn winInit = AtlWinInit();
    if (!winInit) {
        std::wprintf(L"atl80.dll has no AtlAxWinInit\n");
        return 1;
    }
    winInit();
    ::CoUninitialize();
    // S_FALSE: the thread was still in its apartment after leaving it.
    const HRESULT again = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (again == S_FALSE) {
        ::InterlockedIncrement(&g_failures);
        std::wprintf(L"the apartment outlived CoUninitialize after AtlAxWinInit\n");
    } else {
        std::wprintf(L"the apartment ended with CoUninitialize (0x%08lx)\n",
                     static_cast<unsigned long>(again));
    }
    if (SUCCEEDED(again)) ::CoUninitialize();
    return 0;
}

HWND g_killedWindow = nullptr;

DWORD WINAPI MakeWindowAndWait(void* made) {
    g_killedWindow = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                       nullptr, nullptr);
    ::SetEvent(made);
    ::Sleep(INFINITE);
    return 0;
}

void KilledWindow() {
    HANDLE made = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE thread = ::CreateThread(nullptr, 0, &MakeWindowAndWait, made, 0, nullptr);
    ::WaitForSingleObject(made, INFINITE);
    ::TerminateThread(thread, 1);
    ::WaitForSingleObject(thread, INFINITE);
    const bool stillWindow = ::IsWindow(g_killedWindow) != FALSE;
    DWORD_PTR answer = 0;
    const LRESULT sent =
        ::SendMessageTimeoutW(g_killedWindow, WM_APP, 0, 0, SMTO_NORMAL, 5000, &answer);
    const DWORD error = sent ? ERROR_SUCCESS : ::GetLastError();
    if (stillWindow) ::InterlockedIncrement(&g_failures);
    std::wprintf(L"the killed thread's window %ls a window; a send to it %ls (error %lu)\n",
                 stillWindow ? L"is still" : L"is no longer", sent ? L"succeeded" : L"failed",
                 error);
    ::CloseHandle(thread);
    ::CloseHandle(made);
}

// Runs count threads on entry; lets them go together when they wait for
// g_start, and stops them after seconds when they watch g_stop.
void RunThreads(unsigned(__stdcall* entry)(void*), int count, int seconds = 0) {
    std::vector<HANDLE> threads;
    for (int i = 0; i < count; ++i) {
        const uintptr_t thread = ::_beginthreadex(nullptr, 0, entry, nullptr, 0, nullptr);
        if (thread) threads.push_back(reinterpret_cast<HANDLE>(thread));
    }
    if (g_start) {
        ::Sleep(200);  // every thread waits at the start line
        ::SetEvent(g_start);
    }
    if (seconds) {
        ::Sleep(static_cast<DWORD>(seconds) * 1000);
        ::InterlockedExchange(&g_stop, 1);
    }
    ::WaitForMultipleObjects(static_cast<DWORD>(threads.size()), threads.data(), TRUE, INFINITE);
    for (HANDLE thread : threads) ::CloseHandle(thread);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    const int threads = argc > 2 ? std::max(1, std::min(60, _wtoi(argv[2]))) : 16;
    // As the browser does before it opens any dialog.
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES | ICC_DATE_CLASSES};
    ::InitCommonControlsEx(&icc);
    if (mode == L"classes") {
        g_start = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        RunThreads(&FirstWindows, threads);
        std::wprintf(L"%ld window creations failed on %d threads\n", g_failures, threads);
    } else if (mode == L"text") {
        const int seconds = argc > 3 ? std::max(1, _wtoi(argv[3])) : 10;
        RunThreads(&EditTexts, threads, seconds);
        std::wprintf(L"%ld edit controls on %d threads in %d s, no crash\n", g_made, threads,
                     seconds);
    } else if (mode == L"windowthreads") {
        const int seconds = argc > 3 ? std::max(1, _wtoi(argv[3])) : 10;
        RunWindowThreads(threads, seconds);
        std::wprintf(L"%ld window threads, %d at once, in %d s\n", g_made, threads, seconds);
    } else if (mode == L"atlclass") {
        g_start = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        RunThreads(&FirstHostWindow, threads);
        std::wprintf(L"%ld window creations failed on %d threads\n", g_failures, threads);
    } else if (mode == L"atlinit") {
        RunThreads(&AtlInitOnce, 1);
    } else if (mode == L"killedwindow") {
        KilledWindow();
    } else {
        std::fwprintf(
            stderr,
            L"usage: platform_races classes|text|windowthreads|atlclass|atlinit|killedwindow "
            L"[threads] [seconds]\n");
        return 2;
    }
    std::fflush(stdout);
    return g_failures ? 7 : 0;
}
