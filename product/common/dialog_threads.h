#pragma once
// Properties dialogs as a file browser shows them: each on a thread of its
// own, in its own single-threaded apartment, several at once. Each thread
// opens one sheet, shows every tab, types into the first field that takes
// text, applies, closes the sheet and ends; a new thread takes its place
// until the run's dialogs or seconds are spent. Whatever went wrong with a
// dialog is reported as it happens, and counted.

#include <windows.h>

#include <cstdio>
#include <functional>
#include <string>

namespace zrvproduct {

struct OpenedSheet {
    HWND sheet = nullptr;   // null: the sheet could not be opened
    size_t pagesAdded = 0;  // page handles the sheet was given
    // What went wrong before the sheet, if anything; a sheet that could not
    // be opened from pages needs no word here.
    std::wstring problem;
};

// Opens one dialog's sheet on the calling thread, which has entered its
// apartment. Runs on every dialog thread, several at once.
using OpenSheetFn = std::function<OpenedSheet()>;

struct DialogLoad {
    unsigned threads = 1;           // dialog threads at once
    unsigned dialogs = 0;           // dialogs in all; 0: as many as the seconds allow
    unsigned seconds = 0;           // no new dialog after this; 0: no time bound
    DWORD endBoundMs = 60000;       // a dialog thread still running after this has hung
    std::wstring typed = L"typed";  // what is typed into the first field that takes text
};

struct DialogLoadOutcome {
    unsigned started = 0;
    unsigned failed = 0;  // dialogs that ended with a problem
    bool ok() const { return started > 0 && failed == 0; }
};

// Runs the load from the calling thread, which starts and awaits the dialog
// threads and handles its own window messages meanwhile. Each problem is
// written to report as one line that names the dialog and its thread; a
// summary line ends the run. A dialog thread still running after the bound
// is reported with every other such thread, and the process ends at once
// with exit code 7, without the detach code that a hung thread could block.
DialogLoadOutcome RunDialogThreads(const DialogLoad& load, const OpenSheetFn& open, FILE* report);

// Ends the process at once with code, after flushing the standard streams.
[[noreturn]] void EndProcessNow(int code);

}  // namespace zrvproduct
