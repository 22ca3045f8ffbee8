// Prints how long the browser's properties dialog takes to come up, against a
// bare sheet built from the same three templates with no page code, against
// the design floor (the calls the pages must make, without the module) and
// against the platform's own Properties dialog; what the floor leaves out,
// first in a process; and whether 1,000 create-show-close cycles leak
// handles or memory.
//
//   sheet_bench <document>                          run everything, print figures
//   sheet_bench --once a|ab|b|c|p|m|l|e <figures> <document>
//                                  one first-in-process run (used by the driver):
//                                  a and ab the bare and the browser sheet with
//                                  every page initialised, b, c and p timed
//                                  until painted, m the module's own parts,
//                                  l the first lookups' application services,
//                                  e a DLL with nothing in it loaded as code

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <process.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <functional>
#include <string>
#include <vector>

#include "common/hdrop_data_object.h"
#include "common/localizer_map_host.h"
#include "common/sheet_host.h"

#include "bench/bench_clock.h"
#include "bench/design_floor.h"
#include "bench/platform_dialog.h"
#include "bench/sheet_watch.h"
#include "common/test_paths.h"
#include "components/component_ids.h"
#include "support/com_ptr.h"

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

// (b) timed: the browser's path until its first tab has painted, then each
// tab switch until painted.
zrvbench::SheetTimes TimedBrowserSheet() {
    return zrvbench::TimeModelessSheet([] {
        zrvproduct::CollectedPages collected = zrvproduct::CollectPages({g_document});
        return zrvproduct::CreateModelessSheet(g_document, collected.pages);
    });
}

// (c) The design floor: the same sheet with only the calls its pages must make.
zrvbench::SheetTimes DesignFloorSheet() {
    return zrvbench::TimeModelessSheet(
        [] { return zrvbench::OpenDesignFloorSheet(g_document, Templates()); });
}

// (p) The platform's own Properties dialog for the same document.
zrvbench::SheetTimes PlatformSheet() { return zrvbench::PlatformDialog(g_document); }

// The module's own parts, timed first in a process in the order the browser
// meets them: what the design floor leaves out, the module loaded as code
// (against as a data file, which is all the floor loads) and the three
// handlers made through COM; and the activation context built from the
// module's manifest, as the module builds it for its pages and the floor
// builds it for its own.
zrvbench::SheetTimes ModuleParts() {
    zrvbench::SheetTimes times;
    const std::vector<CLSID> handlers = zrvproduct::RegisteredHandlers();
    double start = Now();
    HMODULE data = ::LoadLibraryExW(L"ZRVPropHelper.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
    times.initialised = Now() - start;
    start = Now();
    HMODULE code = ::LoadLibraryW(L"ZRVPropHelper.dll");
    times.painted = Now() - start;
    start = Now();
    for (const CLSID& clsid : handlers) {
        zrv::com_ptr<IShellExtInit> init;
        ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit,
                           init.put_void());
    }
    times.tab2 = Now() - start;
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(code, path, MAX_PATH);
    ACTCTXW request = {};
    request.cbSize = sizeof(request);
    request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID | ACTCTX_FLAG_HMODULE_VALID;
    request.hModule = code;
    request.lpResourceName = MAKEINTRESOURCEW(2);
    request.lpSource = path;
    start = Now();
    HANDLE context = ::CreateActCtxW(&request);
    times.tab3 = Now() - start;
    if (context != INVALID_HANDLE_VALUE) ::ReleaseActCtx(context);
    if (code) ::FreeLibrary(code);
    if (data) ::FreeLibrary(data);
    return times;
}

// What loading any DLL as code costs first in a process, whatever it holds:
// a DLL built as the module is, with an entry point that does nothing.
zrvbench::SheetTimes EmptyModule() {
    zrvbench::SheetTimes times;
    const double start = Now();
    HMODULE module = ::LoadLibraryW(L"bench_empty_module.dll");
    times.painted = Now() - start;
    if (module) ::FreeLibrary(module);
    return times;
}

// The application services that a thread's first text lookup creates in
// process when the map has no localizer of the thread's yet, as the module's
// and the floor's lookups do: on this thread, and then on a new thread in an
// apartment of its own, as the size worker's.
unsigned __stdcall CreateServicesOnThread(void* argument) {
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const double start = Now();
    {
        zrv::com_ptr<IUnknown> services;
        ::CoCreateInstance(CLSID_AppServices, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                           services.put_void());
    }
    *static_cast<double*>(argument) = Now() - start;
    ::CoUninitialize();
    return 0;
}

zrvbench::SheetTimes FirstLookups() {
    zrvbench::SheetTimes times;
    const double start = Now();
    {
        zrv::com_ptr<IUnknown> services;
        ::CoCreateInstance(CLSID_AppServices, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                           services.put_void());
        times.initialised = Now() - start;
    }
    HANDLE thread = reinterpret_cast<HANDLE>(
        ::_beginthreadex(nullptr, 0, &CreateServicesOnThread, &times.painted, 0, nullptr));
    if (thread) {
        ::WaitForSingleObject(thread, 10000);
        ::CloseHandle(thread);
    }
    return times;
}

zrvbench::SheetTimes RunOnce(const std::wstring& which) {
    zrvbench::SheetTimes times;
    if (which == L"a") {
        times.painted = BareSheet();
    } else if (which == L"ab") {
        times.painted = BrowserSheet();
    } else if (which == L"b") {
        times = TimedBrowserSheet();
    } else if (which == L"c") {
        times = DesignFloorSheet();
    } else if (which == L"p") {
        times = PlatformSheet();
    } else if (which == L"m") {
        times = ModuleParts();
    } else if (which == L"l") {
        times = FirstLookups();
    } else if (which == L"e") {
        times = EmptyModule();
    }
    return times;
}

// The median of each figure.
zrvbench::SheetTimes Median(const std::vector<zrvbench::SheetTimes>& runs) {
    auto field = [&](double zrvbench::SheetTimes::*member) {
        std::vector<double> values;
        for (const auto& run : runs) values.push_back(run.*member);
        return Median(values);
    };
    zrvbench::SheetTimes m;
    m.initialised = field(&zrvbench::SheetTimes::initialised);
    m.painted = field(&zrvbench::SheetTimes::painted);
    m.tab2 = field(&zrvbench::SheetTimes::tab2);
    m.tab3 = field(&zrvbench::SheetTimes::tab3);
    m.sheetStarted = field(&zrvbench::SheetTimes::sheetStarted);
    m.pageStarted = field(&zrvbench::SheetTimes::pageStarted);
    return m;
}

// One fresh process's run of one kind. The child writes its figures to a
// file: an exit code holds one number only.
bool RunInFreshProcess(const wchar_t* which, const wchar_t* figures, zrvbench::SheetTimes& run) {
    wchar_t self[MAX_PATH];
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    ::DeleteFileW(figures);  // a child that dies leaves no stale figures behind
    const std::wstring line = L"\"" + std::wstring(self) + L"\" --once " + which + L" \"" +
                              figures + L"\" \"" + g_document + L"\"";
    const zrv::unique_handle process = zrvtest::StartProgram(line);
    if (!process) return false;
    ::WaitForSingleObject(process.get(), 60000);
    bool read = false;
    if (FILE* file = _wfopen(figures, L"r")) {
        read = std::fscanf(file, "%lf %lf %lf %lf %lf %lf", &run.initialised, &run.painted,
                           &run.tab2, &run.tab3, &run.sheetStarted, &run.pageStarted) == 6;
        std::fclose(file);
    }
    return read;
}

// Medians over fresh processes, one run of each kind per round, the kinds
// taking turns so that a machine that drifts meanwhile weighs on all alike.
std::vector<zrvbench::SheetTimes> FirstInProcessTurns(const std::vector<const wchar_t*>& kinds,
                                                      int rounds = 5) {
    wchar_t folder[MAX_PATH];
    wchar_t figures[MAX_PATH];
    ::GetTempPathW(MAX_PATH, folder);
    ::GetTempFileNameW(folder, L"shb", 0, figures);
    std::vector<std::vector<zrvbench::SheetTimes>> runs(kinds.size());
    for (int round = 0; round < rounds; ++round) {
        for (size_t k = 0; k < kinds.size(); ++k) {
            zrvbench::SheetTimes run;
            if (RunInFreshProcess(kinds[k], figures, run)) runs[k].push_back(run);
        }
    }
    ::DeleteFileW(figures);
    std::vector<zrvbench::SheetTimes> medians;
    for (const auto& kindRuns : runs) medians.push_back(Median(kindRuns));
    return medians;
}

zrvbench::SheetTimes FirstInProcess(const wchar_t* which) {
    return FirstInProcessTurns({which})[0];
}

double Ratio(double a, double b) { return b > 0 ? a / b : 0; }

void PrintRatio(const char* name, double warm, double first, double target) {
    std::printf("  %-4s warm %6.3f   first in process %6.3f   target <= %.2f: %s\n", name, warm,
                first, target, warm <= target && first <= target ? "met" : "missed");
}

// One figure of (b), (c) and (p) (when p has it), with the ratios to the
// floor and to the platform's dialog.
void PrintFigure(const char* title, double zrvbench::SheetTimes::*member,
                 const zrvbench::SheetTimes warm[3], const zrvbench::SheetTimes first[3],
                 bool withPlatform) {
    static const char* const kNames[] = {"(b) browser sheet", "(c) design floor",
                                         "(p) platform dialog"};
    std::printf("%s (median ms)\n", title);
    for (int i = 0; i < (withPlatform ? 3 : 2); ++i) {
        std::printf("  %-20s warm %7.2f   first in process %7.2f\n", kNames[i], warm[i].*member,
                    first[i].*member);
    }
    PrintRatio("b/c", Ratio(warm[0].*member, warm[1].*member),
               Ratio(first[0].*member, first[1].*member), 1.05);
    if (withPlatform) {
        PrintRatio("b/p", Ratio(warm[0].*member, warm[2].*member),
                   Ratio(first[0].*member, first[2].*member), 1.1);
    }
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
    if (argc == 5 && std::wstring(argv[1]) == L"--once") {
        const zrvbench::SheetTimes times = RunOnce(argv[2]);
        FILE* file = _wfopen(argv[3], L"w");
        if (!file) return 1;
        std::fprintf(file, "%f %f %f %f %f %f\n", times.initialised, times.painted, times.tab2,
                     times.tab3, times.sheetStarted, times.pageStarted);
        std::fclose(file);
        return 0;
    }
    if (g_document.empty() || ::GetFileAttributesW(g_document.c_str()) == INVALID_FILE_ATTRIBUTES) {
        std::fwprintf(stderr, L"usage: sheet_bench <document>\n");
        return 2;
    }

    const double firstA = FirstInProcess(L"a").painted;
    // The three compared first in process: eleven rounds, as their gaps are
    // a few milliseconds in about a hundred that vary by ten from run to run.
    const std::vector<zrvbench::SheetTimes> compared = FirstInProcessTurns({L"b", L"c", L"p"}, 11);
    const zrvbench::SheetTimes first[3] = {compared[0], compared[1], compared[2]};
    const double firstB = FirstInProcess(L"ab").painted;
    const zrvbench::SheetTimes parts = FirstInProcess(L"m");
    const zrvbench::SheetTimes lookups = FirstInProcess(L"l");
    const double emptyModule = FirstInProcess(L"e").painted;
    BareSheet();
    BrowserSheet();
    TimedBrowserSheet();
    DesignFloorSheet();
    PlatformSheet();
    std::vector<double> warmA, warmB;
    std::vector<zrvbench::SheetTimes> timed[3];
    for (int i = 0; i < 30; ++i) {
        warmA.push_back(BareSheet());
        warmB.push_back(BrowserSheet());
        timed[0].push_back(TimedBrowserSheet());
        timed[1].push_back(DesignFloorSheet());
        timed[2].push_back(PlatformSheet());
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

    const zrvbench::SheetTimes warm[3] = {Median(timed[0]), Median(timed[1]), Median(timed[2])};
    PrintFigure("first page initialised", &zrvbench::SheetTimes::initialised, warm, first, true);
    PrintFigure("first tab painted", &zrvbench::SheetTimes::painted, warm, first, true);
    PrintFigure("switch to tab 2, painted", &zrvbench::SheetTimes::tab2, warm, first, false);
    PrintFigure("switch to tab 3, painted", &zrvbench::SheetTimes::tab3, warm, first, false);
    std::printf("what the design floor leaves out, first in process (median ms)\n");
    std::printf(
        "  module loaded as code %6.2f   (as a data file %.2f; a DLL with nothing in it, as "
        "code %.2f)\n",
        parts.painted, parts.initialised, emptyModule);
    std::printf("  three handlers made through COM %6.2f\n", parts.tab2);
    std::printf("  together, less the data file %6.2f; b - c, first page initialised %6.2f\n",
                parts.painted - parts.initialised + parts.tab2,
                first[0].initialised - first[1].initialised);
    std::printf("what the floor pays as well, first in process (median ms)\n");
    std::printf("  activation context from the module's manifest %6.2f\n", parts.tab3);
    std::printf(
        "  first lookup's application services in process: page thread %6.2f, "
        "worker thread %6.2f\n",
        lookups.initialised, lookups.painted);
    std::printf("the first page's road, first in process (median ms)   (b) / (c) / (p)\n");
    std::printf("  until the sheet's frame is made (pages ready) %7.2f / %7.2f / %7.2f\n",
                first[0].sheetStarted, first[1].sheetStarted, first[2].sheetStarted);
    std::printf("  frame and the first page's controls           %7.2f / %7.2f / %7.2f\n",
                first[0].pageStarted - first[0].sheetStarted,
                first[1].pageStarted - first[1].sheetStarted,
                first[2].pageStarted - first[2].sheetStarted);
    std::printf("  the first page's WM_INITDIALOG                %7.2f / %7.2f / %7.2f\n",
                first[0].initialised - first[0].pageStarted,
                first[1].initialised - first[1].pageStarted,
                first[2].initialised - first[2].pageStarted);

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
