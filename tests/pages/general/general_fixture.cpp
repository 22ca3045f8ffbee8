#include "general_fixture.h"

#include <algorithm>
#include <memory>

#include "common/localizer_map_host.h"
#include "common/sheet_host.h"
#include "common/test_paths.h"
#include "handlers/prop_sheet_handlers.h"
#include "pages/general/size_worker.h"
#include "resources/resource.h"

namespace zrvtest {

namespace {

std::vector<std::wstring>* g_figures = nullptr;
size_t g_updates = 0;

LRESULT CALLBACK RecordSizeFigure(int code, WPARAM wParam, LPARAM lParam) {
    const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && call && call->message == WM_APP && g_figures) ++g_updates;
    if (code == HC_ACTION && call && call->message == WM_SETTEXT && g_figures &&
        ::GetDlgCtrlID(call->hwnd) == IDC_GENERAL_SIZE) {
        const auto* text = reinterpret_cast<const wchar_t*>(call->lParam);
        g_figures->push_back(text ? text : L"");
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

// The Unix path of a Windows path, through Wine's own export; empty when not
// running under Wine.
std::wstring UnixPath(const std::wstring& path) {
    using UnixFileName = char*(CDECL*)(const wchar_t*);
    const auto convert = reinterpret_cast<UnixFileName>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* unixPath = convert ? convert(path.c_str()) : nullptr;
    if (!unixPath) return std::wstring();
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, unixPath, -1, nullptr, 0);
    std::wstring result(length > 0 ? length - 1 : 0, L'\0');
    if (length > 0) ::MultiByteToWideChar(CP_UTF8, 0, unixPath, -1, &result[0], length);
    ::HeapFree(::GetProcessHeap(), 0, unixPath);
    return result;
}

// Starts a Unix program on the Unix paths of the given Windows paths, through
// start.exe: a Unix child of this very process upset later localizer lookups
// in it. There is no handle to wait on: callers look for the effect.
bool RunOnHost(const std::wstring& program, const std::wstring& options,
               const std::vector<std::wstring>& unixPaths) {
    std::wstring line = L"start.exe /unix " + program + L" " + options;
    for (const std::wstring& unixPath : unixPaths) {
        if (unixPath.empty()) return false;
        line += L" \"" + unixPath + L"\"";
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!::CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process)) {
        return false;
    }
    if (process.hThread) ::CloseHandle(process.hThread);
    if (process.hProcess) ::CloseHandle(process.hProcess);
    return true;
}

// tail, when given, is appended to the Unix path of the last path.
bool StartOnHost(const std::wstring& program, const std::wstring& options,
                 const std::vector<std::wstring>& paths, const std::wstring& tail = L"") {
    std::vector<std::wstring> unixPaths;
    for (const std::wstring& path : paths) unixPaths.push_back(UnixPath(path));
    if (!unixPaths.empty() && !unixPaths.back().empty()) unixPaths.back() += tail;
    return RunOnHost(program, options, unixPaths);
}

template <typename Done>
bool WaitFor(Done done, DWORD timeoutMs = 5000) {
    const DWORD start = ::GetTickCount();
    while (!done()) {
        if (::GetTickCount() - start > timeoutMs) return false;
        ::Sleep(5);
    }
    return true;
}

// The attribute word of path as its folder's listing shows it, which is what
// the walk sees; INVALID_FILE_ATTRIBUTES when it is not listed.
DWORD ListedAttributes(const std::wstring& path) {
    WIN32_FIND_DATAW entry;
    HANDLE search = ::FindFirstFileW(path.c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return INVALID_FILE_ATTRIBUTES;
    ::FindClose(search);
    return entry.dwFileAttributes;
}

bool IsReadOnly(const std::wstring& path) {
    const DWORD attributes = ListedAttributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

}  // namespace

void EnsureLocalizerMap() {
    static const std::unique_ptr<zrvproduct::LocalizerMapHost> host(
        new zrvproduct::LocalizerMapHost());
}

SizeFigureLog::SizeFigureLog() {
    g_figures = new std::vector<std::wstring>();
    g_updates = 0;
    m_hook =
        ::SetWindowsHookExW(WH_CALLWNDPROC, &RecordSizeFigure, nullptr, ::GetCurrentThreadId());
}

SizeFigureLog::~SizeFigureLog() {
    if (m_hook) ::UnhookWindowsHookEx(m_hook);
    delete g_figures;
    g_figures = nullptr;
}

std::vector<std::wstring> SizeFigureLog::figures() const {
    return g_figures ? *g_figures : std::vector<std::wstring>();
}

size_t SizeFigureLog::updates() const { return g_updates; }

GeneralSheet::GeneralSheet(const std::wstring& path)
    : PageSheet({&CZRVPropSheet_Summary::Create}, {path}) {}

bool WaitForSizeWorkers(PageSheet& sheet, DWORD timeoutMs) {
    const DWORD start = ::GetTickCount();
    while (LiveSizeWorkers() != 0) {
        if (::GetTickCount() - start > timeoutMs) return false;
        sheet.Pump(1);
    }
    sheet.Pump();
    return true;
}

HWND CreateGeneralSheet(const std::wstring& path, void (*beforeShow)(const std::wstring&)) {
    PageCollector collector;
    {
        zrv::com_ptr<IShellExtInit> init;
        if (FAILED(CZRVPropSheet_Summary::Create(nullptr, IID_IShellExtInit, init.put_void())) ||
            FAILED(init->Initialize(nullptr, DropData({path}).get(), nullptr))) {
            return nullptr;
        }
        zrv::com_ptr<IShellPropSheetExt> extension;
        if (FAILED(init.query(IID_IShellPropSheetExt, extension)) ||
            FAILED(extension->AddPages(&PageCollector::Accept,
                                       reinterpret_cast<LPARAM>(&collector)))) {
            return nullptr;
        }
    }
    if (beforeShow) beforeShow(path);
    return zrvproduct::CreateModelessSheet(path, collector.pages);
}

void PumpFor(HWND sheet, DWORD ms) {
    const DWORD start = ::GetTickCount();
    while (::GetTickCount() - start < ms) {
        MSG message;
        if (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (sheet && ::IsWindow(sheet) && PropSheet_IsDialogMessage(sheet, &message)) continue;
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        } else {
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
        }
    }
}

DWORD Attributes(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()); }

bool SetAttributesKept(const std::wstring& path, DWORD attributes) {
    if (!::SetFileAttributesW(path.c_str(), attributes)) return false;
    const DWORD kept = Attributes(path);
    const DWORD wanted = attributes == FILE_ATTRIBUTE_NORMAL ? 0 : attributes;
    const DWORD asked = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                        FILE_ATTRIBUTE_ARCHIVE;
    return kept != INVALID_FILE_ATTRIBUTES && (kept & asked) == (wanted & asked);
}

bool MakeFileOfSize(const std::wstring& path, ULONGLONG size) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool ok = true;
    if (size <= 65536) {
        const std::string bytes(static_cast<size_t>(size), 'z');
        DWORD written = 0;
        ok = bytes.empty() || (::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()),
                                           &written, nullptr) &&
                               written == bytes.size());
    } else {
        // Extending without writing leaves a sparse file on the file systems
        // Wine runs on, so a 5 GiB file costs no disk space.
        LARGE_INTEGER end;
        end.QuadPart = static_cast<LONGLONG>(size);
        ok = ::SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && ::SetEndOfFile(file);
    }
    ::CloseHandle(file);
    return ok;
}

bool MakeFolderLink(const std::wstring& link, const std::wstring& target) {
    const DWORD linkBits = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    return StartOnHost(L"/bin/ln", L"-s", {target, link}) &&
           WaitFor([&] { return (ListedAttributes(link) & linkBits) == linkBits; }) &&
           ListedAttributes(link) != INVALID_FILE_ATTRIBUTES;
}

void RemoveFolderLink(const std::wstring& link) {
    if (ListedAttributes(link) == INVALID_FILE_ATTRIBUTES) return;
    if (StartOnHost(L"/bin/rm", L"-f", {link})) {
        WaitFor([&] { return ListedAttributes(link) == INVALID_FILE_ATTRIBUTES; });
    }
}

bool MakeFolderReadOnly(const std::wstring& folder) {
    if (SetAttributesKept(folder, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) return true;
    return StartOnHost(L"/bin/chmod", L"a-w", {folder}) &&
           WaitFor([&] { return IsReadOnly(folder); });
}

void MakeFolderWritable(const std::wstring& folder) {
    if (!IsReadOnly(folder)) return;
    if (SetAttributesKept(folder, FILE_ATTRIBUTE_DIRECTORY)) return;
    if (StartOnHost(L"/bin/chmod", L"u+w", {folder})) {
        WaitFor([&] { return !IsReadOnly(folder); });
    }
}

bool MakeFileOnHost(const std::wstring& root, const std::wstring& folders, ULONGLONG bytes) {
    std::wstring unixTail = folders;
    std::replace(unixTail.begin(), unixTail.end(), L'\\', L'/');
    // Looked up as spelled: a plain path would drop trailing dots and spaces.
    const std::wstring file = L"\\\\?\\" + root + folders + L"\\f.bin";
    const auto made = [&] { return ::GetFileAttributesW(file.c_str()) != INVALID_FILE_ATTRIBUTES; };
    if (!StartOnHost(L"/bin/mkdir", L"-p", {root}, unixTail)) return false;
    // truncate fails until mkdir is done; Wine is slow to look up deep paths.
    const DWORD start = ::GetTickCount();
    while (!made() && ::GetTickCount() - start < 60000) {
        StartOnHost(L"/usr/bin/truncate", L"-s " + std::to_wstring(bytes), {root},
                    unixTail + L"/f.bin");
        WaitFor(made, 3000);
    }
    return made();
}

std::wstring MakeFolderChain(const std::wstring& root, int levels, ULONGLONG bytes) {
    std::wstring folders;
    for (int i = 0; i < levels; ++i) folders += L"\\d";
    return MakeFileOnHost(root, folders, bytes) ? root + folders : std::wstring();
}

bool MakeFolderChainOnly(const std::wstring& root, int levels, const std::wstring& name) {
    std::wstring unixChain = UnixPath(root);
    for (int i = 0; i < levels; ++i) unixChain += L"/" + name;
    // mkdir makes its arguments in order: the marker exists once the chain does.
    const std::wstring marker = root + L"\\made";
    return RunOnHost(L"/bin/mkdir", L"-p", {unixChain, UnixPath(marker)}) &&
           WaitFor([&] { return Attributes(marker) != INVALID_FILE_ATTRIBUTES; }, 30000);
}

void RemoveFolderChain(const std::wstring& root, const std::wstring& name) {
    const std::wstring top = root + L"\\" + name;
    if (StartOnHost(L"/bin/rm", L"-rf", {root}, L"/" + name)) {
        WaitFor([&] { return ::GetFileAttributesW(top.c_str()) == INVALID_FILE_ATTRIBUTES; },
                30000);
    }
}

bool BuildEmptyFileTreeOnHost(const std::wstring& root, ULONGLONG entries, FileTree& tree) {
    tree = FileTree();
    const ULONGLONG branches = (entries + kEntriesPerBranch / 2) / kEntriesPerBranch;
    // Two host programs per branch: one makes its folders, one its files.
    const std::string script =
        "cd \"$1\" || exit 1\n"
        "b=0\n"
        "while [ $b -lt " +
        std::to_string(branches) +
        " ]; do\n"
        "  folders=b$b; files=\n"
        "  l=0\n"
        "  while [ $l -lt " +
        std::to_string(kLeavesPerBranch) +
        " ]; do\n"
        "    folders=\"$folders b$b/l$l\"\n"
        "    f=0\n"
        "    while [ $f -lt " +
        std::to_string(kFilesPerLeaf) +
        " ]; do\n"
        "      files=\"$files b$b/l$l/f$f.dat\"; f=$((f + 1))\n"
        "    done\n"
        "    l=$((l + 1))\n"
        "  done\n"
        "  mkdir $folders && touch $files || exit 1\n"
        "  b=$((b + 1))\n"
        "done\n"
        "touch \"$2\"\n";
    const std::wstring scriptFile = root + L".sh";
    const std::wstring marker = root + L".made";
    if (!::CreateDirectoryW(root.c_str(), nullptr) || !WriteFileBytes(scriptFile, script) ||
        !RunOnHost(L"/bin/sh", L"", {UnixPath(scriptFile), UnixPath(root), UnixPath(marker)}) ||
        !WaitFor([&] { return Attributes(marker) != INVALID_FILE_ATTRIBUTES; }, 120000)) {
        return false;
    }
    tree.folders = branches * (1 + kLeavesPerBranch);
    tree.files = branches * kLeavesPerBranch * kFilesPerLeaf;
    return true;
}

std::wstring ShortcutTo(const ScratchFolder& folder, const std::wstring& name,
                        const std::wstring& target) {
    const std::wstring link = folder.path() + L"\\" + name + L".lnk";
    return MakeShortcut(link, target) ? link : std::wstring();
}

}  // namespace zrvtest
