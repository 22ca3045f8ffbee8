// The document browser's properties dialog: shows the pages of every
// registered handler for the files named on the command line.
//
//   ZRVBrowser [options] path...
//     --screenshots DIR  open each tab in turn and save DIR\tab<N>.png
//     --tab N            show tab N (from 1) before pressing Apply or OK
//     --apply            press Apply after visiting the tabs
//     --ok               press OK (applies and closes)
//                        A message box that a page shows meanwhile is printed
//                        ("message: ..."), saved as DIR\message.png with
//                        --screenshots, and answered with OK.
//     --close            close the dialog when the script is done
//     --report           print what each handler answered and the tab titles
//     --no-localizer-map start without the shared localizer map that the
//                        product's main application otherwise publishes
//     --threads N        open each dialog on a thread of its own, in its own
//                        apartment, N at once, as a file browser does: each
//                        shows every tab, types into the first field that
//                        takes text, applies, closes and ends, and a new
//                        thread takes its place (at most 60)
//     --dialogs M        with --threads: M dialogs in all
//     --seconds S        with --threads: start new dialogs for S seconds
//     --end-within S     with --threads: a dialog thread still running after
//                        S seconds (default 60) has hung
//     --no-browser-window with --threads: open the dialogs without first
//                        showing the browser's own window
// Without a scripted option the dialog stays until the user closes it. With
// --threads, every dialog's problems (pages added against tabs shown, a page
// without its dialog, a sheet that did not open, an Apply a page refused, a
// thread that did not end)
// are printed as they happen, and the exit code is 7 when there was any; a
// fault that ends the process is named with the module it happened in.

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <shlwapi.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <optional>
#include <string>
#include <vector>

#include "common/browser_window.h"
#include "common/dialog_threads.h"
#include "common/localizer_map_host.h"
#include "common/message_box_watch.h"
#include "common/sheet_host.h"
#include "support/handles.h"

namespace {

// The full path of `path`, however long; empty when it has none.
std::wstring FullPath(const std::wstring& path) {
    std::vector<wchar_t> full(MAX_PATH);
    for (;;) {
        const DWORD length =
            ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (length == 0) return std::wstring();
        if (length < full.size()) return std::wstring(full.data(), length);
        full.resize(length);  // the size needed, terminator included
    }
}

// On Windows a plain path of MAX_PATH or more reaches the file system only in
// its \\?\ form; shorter ones and device paths are used as they are.
std::wstring FileSystemForm(const std::wstring& full) {
    if (full.size() < MAX_PATH ||
        (full.rfind(L"\\\\", 0) == 0 && full.size() > 2 && (full[2] == L'?' || full[2] == L'.')))
        return full;
    if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC" + full.substr(1);
    return L"\\\\?\\" + full;
}

struct Options {
    std::wstring screenshots;
    bool apply = false;
    bool ok = false;
    bool close = false;
    bool report = false;
    bool noLocalizerMap = false;
    unsigned threads = 0;
    unsigned dialogs = 0;
    unsigned seconds = 0;
    unsigned endWithin = 60;
    unsigned tab = 1;
    bool noBrowserWindow = false;
    std::vector<std::wstring> paths;
    bool scripted() const { return !screenshots.empty() || apply || ok || close; }
};

// A whole number from 1 to most; false for anything else.
bool ParseCount(const wchar_t* text, unsigned most, unsigned& value) {
    wchar_t* end = nullptr;
    const unsigned long number = std::wcstoul(text, &end, 10);
    if (!*text || *end || number < 1 || number > most) return false;
    value = static_cast<unsigned>(number);
    return true;
}

bool ParseOptions(int argc, wchar_t** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        unsigned* count = arg == L"--threads"      ? &options.threads
                          : arg == L"--dialogs"    ? &options.dialogs
                          : arg == L"--seconds"    ? &options.seconds
                          : arg == L"--end-within" ? &options.endWithin
                          : arg == L"--tab"        ? &options.tab
                                                   : nullptr;
        if (count) {
            // One thread and the starter wait together on at most 64 handles.
            const unsigned most = count == &options.threads ? 60 : 100000000;
            if (i + 1 >= argc || !ParseCount(argv[++i], most, *count)) {
                std::fwprintf(stderr, L"%ls needs a number from 1 to %u\n", arg.c_str(), most);
                return false;
            }
        } else if (arg == L"--screenshots" && i + 1 < argc) {
            options.screenshots = argv[++i];
        } else if (arg == L"--apply") {
            options.apply = true;
        } else if (arg == L"--ok") {
            options.ok = true;
        } else if (arg == L"--close") {
            options.close = true;
        } else if (arg == L"--report") {
            options.report = true;
        } else if (arg == L"--no-localizer-map") {
            options.noLocalizerMap = true;
        } else if (arg == L"--no-browser-window") {
            options.noBrowserWindow = true;
        } else if (arg.rfind(L"--", 0) == 0) {
            std::fwprintf(stderr, L"unknown option %ls\n", arg.c_str());
            return false;
        } else {
            std::wstring full = FullPath(arg);
            if (full.empty()) {
                std::fwprintf(stderr, L"ZRVBrowser: %ls is no usable path\n", arg.c_str());
                return false;
            }
            options.paths.push_back(std::move(full));
        }
    }
    if (!options.threads && (options.dialogs || options.seconds)) {
        std::fwprintf(stderr, L"--dialogs and --seconds go with --threads\n");
        return false;
    }
    if (options.threads && !options.dialogs && !options.seconds) options.dialogs = options.threads;
    return !options.paths.empty();
}

std::wstring GuidText(const GUID& guid) {
    wchar_t text[40] = {};
    ::StringFromGUID2(guid, text, 40);
    return text;
}

std::wstring TabTitle(HWND sheet, int index) {
    HWND tabs = PropSheet_GetTabControl(sheet);
    wchar_t text[260] = {};
    TCITEMW item = {};
    item.mask = TCIF_TEXT;
    item.pszText = text;
    item.cchTextMax = 260;
    TabCtrl_GetItem(tabs, index, &item);
    return text;
}

// A message box up this long has been painted, for its picture.
constexpr DWORD kMessageSettleMs = 700;

// Texts of the pages may be in any language; the console's code page may
// not hold them.
void PrintUtf8(const std::wstring& text) {
    const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                            nullptr, 0, nullptr, nullptr);
    std::string utf8(bytes > 0 ? bytes : 0, '\0');
    if (bytes > 0) {
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &utf8[0],
                              bytes, nullptr, nullptr);
    }
    std::fflush(stdout);
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
    std::fflush(stdout);
}

int RunScript(HWND sheet, const Options& options) {
    HWND tabs = PropSheet_GetTabControl(sheet);
    const int count = TabCtrl_GetItemCount(tabs);
    if (options.report) {
        for (int i = 0; i < count; ++i)
            std::wprintf(L"tab %d: %ls\n", i, TabTitle(sheet, i).c_str());
    }
    if (!options.screenshots.empty()) {
        ::CreateDirectoryW(options.screenshots.c_str(), nullptr);
        for (int i = 0; i < count; ++i) {
            PropSheet_SetCurSel(sheet, nullptr, i);
            zrvproduct::PumpMessagesFor(sheet, 700);
            const std::wstring file =
                options.screenshots + L"\\tab" + std::to_wstring(i + 1) + L".png";
            const HRESULT hr = zrvproduct::SaveWindowPng(sheet, file);
            std::wprintf(L"screenshot %ls: 0x%08lx\n", file.c_str(),
                         static_cast<unsigned long>(hr));
        }
    }
    if (!options.screenshots.empty() || options.tab > 1) {
        PropSheet_SetCurSel(sheet, nullptr, options.tab - 1);
        zrvproduct::PumpMessages(sheet);
    }
    {
        // A page that could not save says so in a message box, which waits
        // for a user: it is printed (and photographed), then answered.
        zrvproduct::MessageBoxWatch watch(
            sheet,
            [&options, sheet](HWND box, const std::wstring& text) {
                PrintUtf8(L"message: " + text + L"\n");
                if (options.screenshots.empty()) return;
                const std::wstring file = options.screenshots + L"\\message.png";
                const HRESULT hr = zrvproduct::SaveWindowsPng(sheet, box, file);
                std::wprintf(L"screenshot %ls: 0x%08lx\n", file.c_str(),
                             static_cast<unsigned long>(hr));
            },
            options.screenshots.empty() ? 0 : kMessageSettleMs);
        if (options.apply) {
            PropSheet_PressButton(sheet, PSBTN_APPLYNOW);
            zrvproduct::PumpMessagesFor(sheet, 100);
        }
        if (options.ok) {
            PropSheet_PressButton(sheet, PSBTN_OK);
            zrvproduct::PumpMessagesFor(sheet, 100);
            if (PropSheet_GetCurrentPageHwnd(sheet)) std::wprintf(L"the sheet stayed open\n");
        }
    }
    if (options.close || options.ok) ::DestroyWindow(sheet);
    return 0;
}

int RunInteractive(HWND sheet) {
    MSG msg;
    while (::IsWindow(sheet) && PropSheet_GetCurrentPageHwnd(sheet) &&
           ::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (PropSheet_IsDialogMessage(sheet, &msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    if (::IsWindow(sheet)) ::DestroyWindow(sheet);
    return 0;
}

// One dialog on the calling thread: the handlers' pages in a sheet.
zrvproduct::OpenedSheet OpenBrowserSheet(const std::vector<std::wstring>& paths) {
    zrvproduct::OpenedSheet opened;
    zrvproduct::CollectedPages collected = zrvproduct::CollectPages(paths);
    for (const auto& h : collected.handlers) {
        // Initialize may decline a selection (the General page takes one
        // item only); a handler that cannot be made or that took the
        // selection and then gave no page is a fault.
        if (FAILED(h.create) || (SUCCEEDED(h.initialize) && FAILED(h.addPages))) {
            wchar_t text[160];
            std::swprintf(text, 160, L"handler %ls: create 0x%08lx, AddPages 0x%08lx",
                          GuidText(h.clsid).c_str(), static_cast<unsigned long>(h.create),
                          static_cast<unsigned long>(h.addPages));
            opened.problem += opened.problem.empty() ? text : std::wstring(L"; ") + text;
        }
    }
    opened.pagesAdded = collected.pages.size();
    if (collected.pages.empty()) {
        if (opened.problem.empty()) opened.problem = L"no property page was added";
        return opened;
    }
    opened.sheet = zrvproduct::CreateModelessSheet(paths[0], collected.pages);
    return opened;
}

int RunThreaded(const Options& options) {
    zrvproduct::DialogLoad load;
    load.threads = options.threads;
    load.dialogs = options.dialogs;
    load.seconds = options.seconds;
    load.endBoundMs = options.endWithin * 1000;
    const std::vector<std::wstring> paths = options.paths;
    // A file browser's own window is up before its first properties dialog.
    zrv::unique_hwnd window;
    if (!options.noBrowserWindow) window.reset(zrvproduct::CreateBrowserWindow(paths[0]));
    const zrvproduct::DialogLoadOutcome outcome = zrvproduct::RunDialogThreads(
        load, [&paths] { return OpenBrowserSheet(paths); }, stdout);
    return outcome.ok() ? 0 : 7;
}

int Run(int argc, wchar_t** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fwprintf(stderr,
                      L"usage: ZRVBrowser [--screenshots DIR] [--tab N] [--apply] [--ok] [--close] "
                      L"[--report] [--no-localizer-map] [--threads N [--dialogs M] [--seconds S] "
                      L"[--end-within S] [--no-browser-window]] path...\n");
        return 2;
    }
    for (const std::wstring& path : options.paths) {
        if (::GetFileAttributesW(FileSystemForm(path).c_str()) == INVALID_FILE_ATTRIBUTES) {
            std::fwprintf(stderr, L"ZRVBrowser: %ls does not exist\n", path.c_str());
            return 3;
        }
    }

    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES | ICC_DATE_CLASSES};
    ::InitCommonControlsEx(&icc);

    // As the product's main application, the browser publishes the map in
    // which every thread's localizer is registered, for as long as it runs.
    std::optional<zrvproduct::LocalizerMapHost> localizerMap;
    if (!options.noLocalizerMap) localizerMap.emplace();
    if (options.threads) return RunThreaded(options);

    zrvproduct::CollectedPages collected = zrvproduct::CollectPages(options.paths);
    if (options.report) {
        for (const auto& h : collected.handlers) {
            std::wprintf(L"handler %ls create=0x%08lx initialize=0x%08lx addpages=0x%08lx\n",
                         GuidText(h.clsid).c_str(), static_cast<unsigned long>(h.create),
                         static_cast<unsigned long>(h.initialize),
                         static_cast<unsigned long>(h.addPages));
        }
    }
    if (collected.pages.empty()) {
        std::fwprintf(stderr, L"ZRVBrowser: no property page was added for %ls\n",
                      options.paths[0].c_str());
        return 4;
    }
    HWND sheet = zrvproduct::CreateModelessSheet(options.paths[0], collected.pages);
    if (!sheet) {
        std::fwprintf(stderr, L"ZRVBrowser: the property sheet could not be created\n");
        return 5;
    }
    std::fflush(stdout);
    return options.scripted() ? RunScript(sheet, options) : RunInteractive(sheet);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 6;
    const int code = Run(argc, argv);
    std::fflush(stdout);
    ::CoUninitialize();
    return code;
}
