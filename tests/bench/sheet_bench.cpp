// Prints how long the browser's properties dialog takes to come up, against a
// bare sheet built from the same three templates with no page code, and
// whether 1,000 create-show-close cycles leak handles or memory.
//
//   sheet_bench             run everything and print the figures
//   sheet_bench --once a|b  one first-in-process run (used by the driver)

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "common/hdrop_data_object.h"
#include "common/localizer_map_host.h"
#include "common/sheet_host.h"

#include "bench_clock.h"

namespace {

std::wstring g_document;

// Milliseconds.
double Now() { return zrvbench::NowMs(); }

INT_PTR CALLBACK BareDialogProc(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

HMODULE Templates() {
    static HMODULE module =
        ::LoadLibraryExW(L"ZRVPropHelper.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
    return module;
}

// Opens every tab once, so that every page has run WM_INITDIALOG.
void VisitAllTabs(HWND sheet, int count) {
    for (int i = count - 1; i >= 0; --i) PropSheet_SetCurSel(sheet, nullptr, i);
}

// (a) A modeless three-page sheet from the module's templates, no page code.
double BareSheet() {
    const double start = Now();
    std::vector<HPROPSHEETPAGE> pages;
    for (WORD id : {105, 106, 107}) {
        PROPSHEETPAGEW page = {};
        page.dwSize = sizeof(page);
        page.hInstance = Templates();
        page.pszTemplate = MAKEINTRESOURCEW(id);
        page.pfnDlgProc = &BareDialogProc;
        page.dwFlags = PSP_USETITLE;
        page.pszTitle = L"Page";
        pages.push_back(::CreatePropertySheetPageW(&page));
    }
    HWND sheet = zrvproduct::CreateModelessSheet(g_document, pages);
    VisitAllTabs(sheet, 3);
    const double elapsed = Now() - start;
    ::DestroyWindow(sheet);
    zrvproduct::PumpMessages(nullptr);
    return elapsed;
}

// Where the browser sheet's time goes: handlers, the sheet with its first
// page, and each further page's initialisation.
double g_phases[5] = {};

// (b) The browser's path: handlers through COM, the selection, the sheet.
double BrowserSheet() {
    const double start = Now();
    zrvproduct::CollectedPages collected = zrvproduct::CollectPages({g_document});
    const int count = static_cast<int>(collected.pages.size());
    const double collectedAt = Now();
    HWND sheet = zrvproduct::CreateModelessSheet(g_document, collected.pages);
    double mark = Now();
    g_phases[0] = collectedAt - start;
    g_phases[1] = mark - collectedAt;
    for (int i = 1; i < count && i < 4; ++i) {
        PropSheet_SetCurSel(sheet, nullptr, i);
        const double now = Now();
        g_phases[i + 1] = now - mark;
        mark = now;
    }
    const double elapsed = Now() - start;
    ::DestroyWindow(sheet);
    zrvproduct::PumpMessages(nullptr);
    return elapsed;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double FirstInProcess(const wchar_t* which) {
    wchar_t self[MAX_PATH];
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::vector<double> runs;
    for (int i = 0; i < 5; ++i) {
        std::wstring line =
            L"\"" + std::wstring(self) + L"\" --once " + which + L" \"" + g_document + L"\"";
        STARTUPINFOW si = {};
        si.cb = sizeof(si);
        PROCESS_INFORMATION pi = {};
        if (!::CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                              &pi)) {
            continue;
        }
        ::WaitForSingleObject(pi.hProcess, 60000);
        DWORD micros = 0;
        ::GetExitCodeProcess(pi.hProcess, &micros);
        ::CloseHandle(pi.hThread);
        ::CloseHandle(pi.hProcess);
        runs.push_back(micros / 1000.0);
    }
    return Median(runs);
}

// Wine reports no handle or GDI counts and no private usage through the
// usual calls, so the figures are gathered by hand: kernel handles by
// probing their values, windows by enumeration, memory by walking the
// address space for committed private pages.
struct Usage {
    unsigned handles = 0;
    unsigned windows = 0;
    SIZE_T privateBytes = 0;
    SIZE_T heapBytes = 0;  // allocated blocks in every heap of the process
};

BOOL CALLBACK CountChild(HWND, LPARAM param) {
    ++*reinterpret_cast<unsigned*>(param);
    return TRUE;
}

BOOL CALLBACK CountWindow(HWND window, LPARAM param) {
    ++*reinterpret_cast<unsigned*>(param);
    ::EnumChildWindows(window, &CountChild, param);
    return TRUE;
}

Usage Measure() {
    Usage u;
    for (ULONG_PTR value = 4; value < 0x40000; value += 4) {
        DWORD flags = 0;
        if (::GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++u.handles;
    }
    ::EnumThreadWindows(::GetCurrentThreadId(), &CountWindow, reinterpret_cast<LPARAM>(&u.windows));
    HANDLE heaps[256];
    const DWORD heapCount = std::min<DWORD>(::GetProcessHeaps(256, heaps), 256);
    for (DWORD i = 0; i < heapCount; ++i) {
        PROCESS_HEAP_ENTRY entry = {};
        if (!::HeapLock(heaps[i])) continue;
        while (::HeapWalk(heaps[i], &entry)) {
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) u.heapBytes += entry.cbData;
        }
        ::HeapUnlock(heaps[i]);
    }
    MEMORY_BASIC_INFORMATION info;
    for (const BYTE* p = nullptr; ::VirtualQuery(p, &info, sizeof(info)) == sizeof(info);
         p = static_cast<const BYTE*>(info.BaseAddress) + info.RegionSize) {
        if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE) u.privateBytes += info.RegionSize;
        if (static_cast<const BYTE*>(info.BaseAddress) + info.RegionSize < p) break;
    }
    return u;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES | ICC_DATE_CLASSES};
    ::InitCommonControlsEx(&icc);
    g_document = argc > 1 ? argv[argc - 1] : L"";
    // Like the browser, this program publishes the localizer map while it
    // runs: without it every text lookup goes to another process.
    zrvproduct::LocalizerMapHost localizerMap;
    if (argc == 4 && std::wstring(argv[1]) == L"--once") {
        const double ms = std::wstring(argv[2]) == L"a" ? BareSheet() : BrowserSheet();
        return static_cast<int>(ms * 1000.0);
    }
    if (g_document.empty() || ::GetFileAttributesW(g_document.c_str()) == INVALID_FILE_ATTRIBUTES) {
        std::fwprintf(stderr, L"usage: sheet_bench <document>\n");
        return 2;
    }

    const double firstA = FirstInProcess(L"a");
    const double firstB = FirstInProcess(L"b");
    BareSheet();
    BrowserSheet();
    std::vector<double> warmA, warmB;
    for (int i = 0; i < 30; ++i) {
        warmA.push_back(BareSheet());
        warmB.push_back(BrowserSheet());
    }
    const double a = Median(warmA), b = Median(warmB);
    std::printf(
        "browser sheet, last warm run: handlers %.2f ms, sheet with page 1 %.2f ms, "
        "page 2 %.2f ms, page 3 %.2f ms\n",
        g_phases[0], g_phases[1], g_phases[2], g_phases[3]);
    std::printf("sheet open, three pages initialised (median ms)\n");
    std::printf("  (a) bare sheet:     first in process %7.2f   warm %7.2f\n", firstA, a);
    std::printf("  (b) browser sheet:  first in process %7.2f   warm %7.2f\n", firstB, b);
    std::printf("  ratio b/a warm %.2f   first in process %.2f\n", a > 0 ? b / a : 0,
                firstA > 0 ? firstB / firstA : 0);

    // The bare sheet's own growth over the same cycles is the platform's
    // share (heap caches and the like); the browser sheet should add nothing.
    for (int pass = 0; pass < 3; ++pass) {
        const bool browser = pass >= 1;
        const Usage before = Measure();
        for (int i = 0; i < 1000; ++i) browser ? BrowserSheet() : BareSheet();
        const Usage after = Measure();
        std::printf("1000 create-show-close cycles of the %s sheet\n",
                    browser ? "browser" : "bare");
        std::printf("  kernel handles %6u -> %6u\n", before.handles, after.handles);
        std::printf("  windows        %6u -> %6u\n", before.windows, after.windows);
        std::printf("  private bytes  %8lu KB -> %8lu KB\n",
                    static_cast<unsigned long>(before.privateBytes / 1024),
                    static_cast<unsigned long>(after.privateBytes / 1024));
        std::printf("  heap in use    %8lu KB -> %8lu KB\n",
                    static_cast<unsigned long>(before.heapBytes / 1024),
                    static_cast<unsigned long>(after.heapBytes / 1024));
    }
    ::CoUninitialize();
    return 0;
}
