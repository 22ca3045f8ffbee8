// Prints how long the General page takes to show a folder tree's total,
// against references measured in the same run on the same tree:
//   (a) a bare FindFirstFileW/FindNextFileW walk of the tree;
//   (f) the floor of any walk that reports every entry: the same walk on a
//       thread of its own, plus per entry one synchronous send to the
//       user-interface thread, whose handler sets nothing;
//   (b) a design that shows every figure: (f) with a handler that sets the
//       page's Size field;
//   (c) the page itself, opened on a shortcut to the tree, from the sheet's
//       creation until its worker has shown the last figure;
//   (d) (b) plus a localized-string lookup per entry on the walking thread,
//       the naive way of loading the figure's text, on the smaller tree.
// For (c) it also prints how many texts the Size field was given. Then it
// closes the page again and again in the middle of its walk, and prints the
// medians of the user-interface thread's time in the close and of the time
// from the close's start until the worker thread has ended.
// Trees of about 10,000 and 100,000 entries, a third of them folders, are
// made in a scratch folder and removed again.
//
//   size_bench [--no-localizer-map] [--entries N ...]

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <shlobj.h>

#include <process.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <cwchar>
#include <string>
#include <vector>

#include "common/hdrop_data_object.h"
#include "common/localizer_map_host.h"
#include "common/sheet_host.h"
#include "handlers/prop_sheet_handlers.h"
#include "localization/localizer.h"
#include "pages/general/file_tree.h"
#include "pages/general/size_worker.h"
#include "resources/resource.h"
#include "support/com_ptr.h"
#include "support/cstring.h"
#include "support/handles.h"

#include "bench/bench_clock.h"
#include "common/threads.h"

namespace {

using zrvbench::Now;
using zrvbench::NowMs;

// Texts given to the page's Size field, counted by subclassing it.
WNDPROC g_sizeFieldProc = nullptr;
ULONGLONG g_sizeFieldTexts = 0;

LRESULT CALLBACK CountSizeFieldTexts(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SETTEXT) ++g_sizeFieldTexts;
    return ::CallWindowProcW(g_sizeFieldProc, window, message, wParam, lParam);
}

// Counts from now on the texts the Size field of the sheet's page is given.
void CountTextsOfSizeField(HWND sheet) {
    HWND field = ::GetDlgItem(PropSheet_IndexToHwnd(sheet, 0), IDC_GENERAL_SIZE);
    g_sizeFieldTexts = 0;
    g_sizeFieldProc = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(field, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CountSizeFieldTexts)));
}

bool IsDot(const wchar_t* name) { return !std::wcscmp(name, L".") || !std::wcscmp(name, L".."); }

// The walk of the worker without anything shown: the same records, the same
// folders entered. onEntry runs after every record.
template <typename OnEntry>
ULONGLONG Walk(const std::wstring& path, bool listFolder, ULONGLONG& records, OnEntry& onEntry) {
    WIN32_FIND_DATAW entry;
    HANDLE search = ::FindFirstFileW(listFolder ? (path + L"\\*.*").c_str() : path.c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return 0;
    ULONGLONG total = 0;
    do {
        if (entry.dwFileAttributes == FILE_ATTRIBUTE_DIRECTORY) {
            if (!IsDot(entry.cFileName)) {
                total += Walk(listFolder ? path + L"\\" + entry.cFileName : path, true, records,
                              onEntry);
            }
        } else {
            total += (static_cast<ULONGLONG>(entry.nFileSizeHigh) << 32) + entry.nFileSizeLow;
        }
        ++records;
        onEntry(total);
    } while (::FindNextFileW(search, &entry));
    ::FindClose(search);
    return total;
}

std::wstring Figure(ULONGLONG total) {
    wchar_t text[64];
    if (total >= 1024) {
        std::swprintf(text, 64, L"%llu KB", total / 1024);
    } else {
        std::swprintf(text, 64, L"%llu bytes", total);
    }
    return text;
}

struct Measured {
    double seconds = 0;
    ULONGLONG records = 0;
    double rate() const { return seconds > 0 ? static_cast<double>(records) / seconds : 0; }
};

Measured BareWalk(const std::wstring& root) {
    Measured m;
    auto nothing = [](ULONGLONG) {};
    const double start = Now();
    Walk(root, false, m.records, nothing);
    m.seconds = Now() - start;
    return m;
}

// Runs this thread's messages the way a host runs a modeless sheet's, until
// finished() answers true.
template <typename Finished>
void RunSheetMessagesUntil(HWND sheet, Finished finished) {
    while (!finished()) {
        MSG message;
        if (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (sheet && PropSheet_IsDialogMessage(sheet, &message)) continue;
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        } else {
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
        }
    }
}

// (f), (b) and (d): a walking thread that sends every figure to a window of
// this thread, whose handler puts it into the page's Size field, if any.
struct SendingWalk {
    std::wstring root;
    HWND relay = nullptr;
    HWND edit = nullptr;  // null for (f)
    bool lookUpText = false;
    wchar_t figure[64] = {};
    ULONGLONG records = 0;
};

LRESULT CALLBACK RelayProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP) {
        const auto* walk = reinterpret_cast<const SendingWalk*>(lParam);
        if (walk->edit) ::SetWindowTextW(walk->edit, walk->figure);
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

unsigned __stdcall SendingThread(void* argument) {
    auto* walk = static_cast<SendingWalk*>(argument);
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    auto send = [walk](ULONGLONG total) {
        if (walk->lookUpText) {
            CString text;
            (void)text.LoadLocalizedString(total >= 1024 ? IDS_SIZE_KB_FORMAT
                                                         : IDS_SIZE_BYTES_FORMAT);
        }
        std::wcsncpy(walk->figure, Figure(total).c_str(), 63);
        ::SendMessageW(walk->relay, WM_APP, 0, reinterpret_cast<LPARAM>(walk));
    };
    Walk(walk->root, false, walk->records, send);
    ForgetLocalizerRegistrations(false);
    ::CoUninitialize();
    return 0;
}

Measured SendingFloor(HWND sheet, const std::wstring& root, HWND edit, bool lookUpText) {
    static const ATOM relayClass = [] {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = &RelayProc;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"ZRVSizeBenchRelay";
        return ::RegisterClassW(&windowClass);
    }();
    SendingWalk walk;
    walk.root = root;
    walk.edit = edit;
    walk.lookUpText = lookUpText;
    walk.relay = ::CreateWindowW(MAKEINTATOM(relayClass), L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 ::GetModuleHandleW(nullptr), nullptr);
    Measured m;
    const double start = Now();
    HANDLE thread =
        reinterpret_cast<HANDLE>(::_beginthreadex(nullptr, 0, &SendingThread, &walk, 0, nullptr));
    if (thread) {
        RunSheetMessagesUntil(
            sheet, [thread] { return ::WaitForSingleObject(thread, 0) == WAIT_OBJECT_0; });
        ::CloseHandle(thread);
    }
    m.seconds = Now() - start;
    m.records = walk.records;
    ::DestroyWindow(walk.relay);
    return m;
}

BOOL CALLBACK CollectPage(HPROPSHEETPAGE page, LPARAM param) {
    reinterpret_cast<std::vector<HPROPSHEETPAGE>*>(param)->push_back(page);
    return TRUE;
}

bool MakeShortcut(const std::wstring& link, const std::wstring& target) {
    zrv::com_ptr<IShellLinkW> shellLink;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  shellLink.put_void())) ||
        FAILED(shellLink->SetPath(target.c_str()))) {
        return false;
    }
    zrv::com_ptr<IPersistFile> file;
    return SUCCEEDED(shellLink.query(IID_IPersistFile, file)) &&
           SUCCEEDED(file->Save(link.c_str(), TRUE));
}

// (c) The General page on a shortcut to the tree. The sheet stays open for
// (b) to use the same edit control.
struct PageRun {
    Measured measured;
    HWND sheet = nullptr;
    std::wstring lastFigure;
    ULONGLONG textsSet = 0;
};

// The General page of link in a modeless sheet, or null.
HWND OpenPage(const std::wstring& link) {
    std::vector<HPROPSHEETPAGE> pages;
    {
        zrv::com_ptr<IDataObject> data;
        zrvproduct::CreateDropDataObject({link}, data.put());
        zrv::com_ptr<IShellExtInit> init;
        CZRVPropSheet_Summary::Create(nullptr, IID_IShellExtInit, init.put_void());
        if (!init || FAILED(init->Initialize(nullptr, data.get(), nullptr))) return nullptr;
        zrv::com_ptr<IShellPropSheetExt> extension;
        init.query(IID_IShellPropSheetExt, extension);
        extension->AddPages(&CollectPage, reinterpret_cast<LPARAM>(&pages));
    }
    return zrvproduct::CreateModelessSheet(link, pages);
}

PageRun PageWalk(const std::wstring& link, ULONGLONG records) {
    PageRun run;
    const double start = Now();
    run.sheet = OpenPage(link);
    if (!run.sheet) return run;
    CountTextsOfSizeField(run.sheet);
    RunSheetMessagesUntil(run.sheet, [] { return LiveSizeWorkers() == 0; });
    run.textsSet = g_sizeFieldTexts;
    run.measured.seconds = Now() - start;
    // The item itself is one more record than the walk of its listing.
    run.measured.records = records + 1;
    HWND page = PropSheet_IndexToHwnd(run.sheet, 0);
    wchar_t text[64] = {};
    ::GetDlgItemTextW(page, IDC_GENERAL_SIZE, text, 64);
    run.lastFigure = text;
    return run;
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

struct CloseTimes {
    std::vector<double> userInterfaceMs;  // in DestroyWindow of the sheet
    std::vector<double> workerGoneMs;     // from the close's start to the worker's end
    int notMidWalk = 0;                   // the walk had ended before the close
    int workerNotSeen = 0;                // no new thread ended
};

// Opens the page on link, lets its walk show some figures, and closes the
// sheet while the walk goes on.
void CloseMidWalk(const std::wstring& link, ULONGLONG figuresFirst, CloseTimes& times) {
    const std::vector<DWORD> before = zrvtest::RunningThreads();
    HWND sheet = OpenPage(link);
    if (!sheet) return;
    CountTextsOfSizeField(sheet);
    std::vector<zrv::unique_handle> started;
    for (DWORD id : zrvtest::RunningThreads()) {
        if (std::binary_search(before.begin(), before.end(), id)) continue;
        zrv::unique_handle thread(::OpenThread(SYNCHRONIZE, FALSE, id));
        if (thread) started.push_back(std::move(thread));
    }
    RunSheetMessagesUntil(sheet, [figuresFirst] {
        return g_sizeFieldTexts >= figuresFirst || LiveSizeWorkers() == 0;
    });
    if (LiveSizeWorkers() == 0) ++times.notMidWalk;

    const double start = NowMs();
    ::DestroyWindow(sheet);
    const double closed = NowMs();
    times.userInterfaceMs.push_back(closed - start);

    std::vector<HANDLE> handles;
    for (const zrv::unique_handle& thread : started) handles.push_back(thread.get());
    // Threads the platform started meanwhile may live on: the worker's end
    // is the last end seen among the new threads, none following for 200 ms.
    double lastEnd = -1;
    while (!handles.empty()) {
        const DWORD wait = ::MsgWaitForMultipleObjects(static_cast<DWORD>(handles.size()),
                                                       handles.data(), FALSE, 200, QS_SENDMESSAGE);
        if (wait < WAIT_OBJECT_0 + handles.size()) {
            lastEnd = NowMs();
            handles.erase(handles.begin() + (wait - WAIT_OBJECT_0));
        } else if (wait == WAIT_OBJECT_0 + handles.size()) {
            MSG message;
            ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        } else {
            break;
        }
    }
    if (lastEnd < 0) {
        ++times.workerNotSeen;
    } else {
        times.workerGoneMs.push_back(lastEnd - start);
    }
    zrvproduct::PumpMessages(nullptr);
}

void PrintCloses(const std::wstring& link, int closes) {
    CloseTimes times;
    CloseMidWalk(link, 5, times);  // the first sheet of a process pays for more
    times = CloseTimes();
    for (int i = 0; i < closes; ++i) CloseMidWalk(link, 5 + 10 * (i % 10), times);
    std::printf(
        "  close mid-walk, median of %u: user-interface thread %.2f ms, worker gone "
        "after %.2f ms (target < 20 ms each)",
        static_cast<unsigned>(times.userInterfaceMs.size()), Median(times.userInterfaceMs),
        Median(times.workerGoneMs));
    if (!times.userInterfaceMs.empty()) {
        std::printf("; slowest %.2f / %.2f ms",
                    *std::max_element(times.userInterfaceMs.begin(), times.userInterfaceMs.end()),
                    times.workerGoneMs.empty()
                        ? 0.0
                        : *std::max_element(times.workerGoneMs.begin(), times.workerGoneMs.end()));
    }
    if (times.notMidWalk) std::printf("; %d walks had ended first", times.notMidWalk);
    if (times.workerNotSeen) std::printf("; worker not timed %d times", times.workerNotSeen);
    std::printf("\n");
}

std::wstring ScratchRoot(const wchar_t* tag) {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring root = std::wstring(temp) + L"zrv-size-bench-" + tag + L"-" +
                              std::to_wstring(::GetCurrentProcessId());
    ::CreateDirectoryW(root.c_str(), nullptr);
    return root;
}

void RunTree(ULONGLONG entries) {
    const std::wstring root = ScratchRoot(std::to_wstring(entries).c_str());
    zrvtest::FileTree tree;
    const double buildStart = Now();
    if (!zrvtest::BuildFileTree(root, entries, tree)) {
        std::printf("could not build a tree of %llu entries\n", entries);
        zrvtest::ClearFileTree(root);
        ::RemoveDirectoryW(root.c_str());
        return;
    }
    const double buildSeconds = Now() - buildStart;
    const std::wstring link = root + L".lnk";
    MakeShortcut(link, root);

    BareWalk(root);  // warms the file system's caches for every run below
    const Measured a = BareWalk(root);
    // (c), (f) and (b) alternate, and each keeps its best run, so that a
    // passing load on the machine does not decide the ratios.
    const std::wstring expected = Figure(tree.bytes);
    PageRun c;
    Measured f, b, d;
    bool allExact = true;
    for (int round = 0; round < 2; ++round) {
        PageRun page = PageWalk(link, a.records);
        if (!page.sheet) break;
        allExact = allExact && page.lastFigure == expected;
        if (!c.sheet || page.measured.seconds < c.measured.seconds) {
            if (c.sheet) ::DestroyWindow(c.sheet);
            c = page;
        } else {
            ::DestroyWindow(page.sheet);
        }
        zrvproduct::PumpMessages(nullptr);
        const Measured floor = SendingFloor(c.sheet, root, nullptr, false);
        if (!f.records || floor.seconds < f.seconds) f = floor;
        // On the large tree (b) takes minutes and is far from (c): one run.
        if (round > 0 && entries > 20000) continue;
        HWND edit = ::GetDlgItem(PropSheet_IndexToHwnd(c.sheet, 0), IDC_GENERAL_SIZE);
        const Measured shown = SendingFloor(c.sheet, root, edit, false);
        if (!b.records || shown.seconds < b.seconds) b = shown;
    }
    if (c.sheet && entries <= 20000) {
        HWND edit = ::GetDlgItem(PropSheet_IndexToHwnd(c.sheet, 0), IDC_GENERAL_SIZE);
        d = SendingFloor(c.sheet, root, edit, true);
    }
    if (c.sheet) ::DestroyWindow(c.sheet);
    zrvproduct::PumpMessages(nullptr);

    std::printf(
        "tree of %llu entries (%llu folders, %llu files, %llu bytes; built in %.1f s), "
        "%llu records walked\n",
        tree.entries(), tree.folders, tree.files, tree.bytes, buildSeconds, a.records);
    std::printf("  time to the last figure, and per record:\n");
    const auto print = [](const char* name, double seconds, ULONGLONG records) {
        std::printf("  %-30s %8.3f s  %7.1f us\n", name, seconds,
                    records ? 1e6 * seconds / records : 0.0);
    };
    print("(a) bare walk", a.seconds, a.records);
    print("(f) floor: walk + send", f.seconds, f.records);
    print("(b) walk + send + set text", b.seconds, b.records);
    print("(c) General page", c.measured.seconds, c.measured.records);
    if (d.records) print("(d) (b) + lookup per record", d.seconds, d.records);
    // Ratios of time per record: (c) walks one record more, the item itself.
    const auto ratio = [](const Measured& x, const Measured& y) {
        return x.rate() > 0 ? y.rate() / x.rate() : 0.0;
    };
    const double cOverB = ratio(c.measured, b), cOverF = ratio(c.measured, f);
    std::printf("  ratios: c/a %.2f  f/a %.2f  b/a %.2f", ratio(c.measured, a), ratio(f, a),
                ratio(b, a));
    if (d.records) std::printf("  d/b %.3f", ratio(d, b));
    std::printf("\n  (c) gave the Size field %llu texts for %llu updates\n", c.textsSet,
                c.measured.records);
    std::printf("  last figure \"%ls\", expected \"%ls\": %s\n", c.lastFigure.c_str(),
                expected.c_str(), allExact ? "the same in every run" : "WRONG");
    std::printf("  c/b %.3f (target at most 0.4): %s\n", cOverB,
                cOverB > 0 && cOverB <= 0.4 ? "met" : "NOT met");
    std::printf("  c/f %.3f (target at most 1.3): %s\n", cOverF,
                cOverF > 0 && cOverF <= 1.3 ? "met" : "NOT met");
    PrintCloses(link, 20);

    ::DeleteFileW(link.c_str());
    zrvtest::ClearFileTree(root);
    ::RemoveDirectoryW(root.c_str());
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);

    bool withMap = true;
    std::vector<ULONGLONG> sizes;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"--no-localizer-map") {
            withMap = false;
        } else if (arg == L"--entries" && i + 1 < argc) {
            sizes.push_back(std::wcstoull(argv[++i], nullptr, 10));
        } else {
            std::fwprintf(stderr, L"usage: size_bench [--no-localizer-map] [--entries N ...]\n");
            return 2;
        }
    }
    if (sizes.empty()) sizes = {10000, 100000};

    // The product's main application publishes the localizer map; without
    // it every lookup goes to the out-of-process server.
    std::unique_ptr<zrvproduct::LocalizerMapHost> map;
    if (withMap) map.reset(new zrvproduct::LocalizerMapHost());
    std::printf("General page size walk; localizer map %s\n",
                map && map->ok() ? "present" : "absent");
    for (ULONGLONG entries : sizes) RunTree(entries);
    map.reset();
    ::CoUninitialize();
    return 0;
}
