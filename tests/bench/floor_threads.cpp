// The design floor's properties dialogs under the document browser's thread
// load (ZRVBrowser --threads): each dialog on a thread of its own, in its
// own apartment, several at once, each showing every tab, typing, applying,
// closing and ending. The pages make the platform and product calls that the
// module's pages make, with none of the module's code (its DLL is loaded as
// a datafile, for its templates and strings). What fails here is the
// platform's own; see WINE-NOTES.md.
//
//   floor_threads [--threads N] [--dialogs M] [--seconds S] [--end-within S]
//                 [--no-localizer-map] [--no-browser-window] document
//
// Prints each dialog's problems and a summary; exits with 7 on any.

#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "bench/design_floor.h"
#include "common/browser_window.h"
#include "common/dialog_threads.h"
#include "common/localizer_map_host.h"
#include "support/handles.h"

namespace {

bool ParseCount(const wchar_t* text, unsigned& value) {
    wchar_t* end = nullptr;
    const unsigned long number = std::wcstoul(text, &end, 10);
    if (!*text || *end || number < 1 || number > 100000000) return false;
    value = static_cast<unsigned>(number);
    return true;
}

int Run(int argc, wchar_t** argv) {
    zrvproduct::DialogLoad load;
    load.threads = 16;
    unsigned endWithin = 60;
    bool noMap = false;
    bool noWindow = false;
    std::wstring document;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        unsigned* count = arg == L"--threads"      ? &load.threads
                          : arg == L"--dialogs"    ? &load.dialogs
                          : arg == L"--seconds"    ? &load.seconds
                          : arg == L"--end-within" ? &endWithin
                                                   : nullptr;
        if (count) {
            if (i + 1 >= argc || !ParseCount(argv[++i], *count)) return 2;
        } else if (arg == L"--no-localizer-map") {
            noMap = true;
        } else if (arg == L"--no-browser-window") {
            noWindow = true;
        } else if (arg.rfind(L"--", 0) == 0 || !document.empty()) {
            return 2;
        } else {
            document = arg;
        }
    }
    if (document.empty() || load.threads > 60) return 2;
    if (!load.dialogs && !load.seconds) load.dialogs = load.threads;
    load.endBoundMs = endWithin * 1000;

    HMODULE templates = ::LoadLibraryExW(L"ZRVPropHelper.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!templates) {
        std::fwprintf(stderr, L"floor_threads: no ZRVPropHelper.dll beside the program\n");
        return 3;
    }
    std::optional<zrvproduct::LocalizerMapHost> localizerMap;
    if (!noMap) localizerMap.emplace();
    zrv::unique_hwnd window;
    if (!noWindow) window.reset(zrvproduct::CreateBrowserWindow(document));

    const zrvproduct::DialogLoadOutcome outcome = zrvproduct::RunDialogThreads(
        load,
        [&] {
            zrvproduct::OpenedSheet opened;
            opened.sheet = zrvbench::OpenDesignFloorSheet(document, templates, &opened.pagesAdded);
            return opened;
        },
        stdout);
    return outcome.ok() ? 0 : 7;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 6;
    const int code = Run(argc, argv);
    if (code == 2) {
        std::fwprintf(stderr,
                      L"usage: floor_threads [--threads N] [--dialogs M] [--seconds S] "
                      L"[--end-within S] [--no-localizer-map] [--no-browser-window] document\n");
    }
    std::fflush(stdout);
    ::CoUninitialize();
    return code;
}
