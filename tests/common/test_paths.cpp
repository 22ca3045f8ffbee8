#include "test_paths.h"

#include <windows.h>
#include <shlwapi.h>

#include <vector>

#include "support/handles.h"

namespace zrvtest {

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    ::PathRemoveFileSpecW(path);
    return std::wstring(path) + L"\\";
}

std::wstring ModulePath() { return ProgramFolder() + L"ZRVPropHelper.dll"; }

std::wstring MakeScratchFolder(const wchar_t* tag) {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    static unsigned counter = 0;
    for (;;) {
        std::wstring folder = std::wstring(temp) + L"zrvtest-" + tag + L"-" +
                              std::to_wstring(::GetCurrentProcessId()) + L"-" +
                              std::to_wstring(++counter);
        if (::CreateDirectoryW(folder.c_str(), nullptr)) return folder;
        if (::GetLastError() != ERROR_ALREADY_EXISTS) return std::wstring();
    }
}

// Scratch trees hold folder links (one back to their own top), names with
// trailing dots and spaces, and paths far past MAX_PATH. Wine's shell delete
// (SHFileOperationW) works in MAX_PATH buffers: given a tree with a long
// folder name it deleted the files of the current directory instead, which
// for ctest is the folder of the built programs. It also enters links, which
// would empty their targets. This one takes every path in its \\?\ form,
// removes links without entering them, and keeps the folders still to remove
// on the heap, so no depth exhausts the stack.
void RemoveTree(const std::wstring& folder) {
    if (folder.empty()) return;
    const std::wstring root = folder.compare(0, 4, L"\\\\?\\") == 0 ? folder : L"\\\\?\\" + folder;
    std::vector<std::wstring> pending{root};
    std::vector<std::wstring> emptied;
    while (!pending.empty()) {
        const std::wstring path = std::move(pending.back());
        pending.pop_back();
        WIN32_FIND_DATAW entry;
        const HANDLE search = ::FindFirstFileW((path + L"\\*").c_str(), &entry);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                const std::wstring name = entry.cFileName;
                if (name == L"." || name == L"..") continue;
                const std::wstring child = path + L"\\" + name;
                ::SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                    ::DeleteFileW(child.c_str());
                } else if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                    ::RemoveDirectoryW(child.c_str());
                } else {
                    pending.push_back(child);
                }
            } while (::FindNextFileW(search, &entry));
            ::FindClose(search);
        }
        emptied.push_back(path);
    }
    for (auto it = emptied.rbegin(); it != emptied.rend(); ++it) ::RemoveDirectoryW(it->c_str());
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok =
        bytes.empty() ||
        ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(file);
    return ok && written == bytes.size();
}

std::string ReadFileBytes(const std::wstring& path) {
    zrv::unique_hfile file(::CreateFileW(path.c_str(), GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string bytes;
    if (!file) return bytes;
    // Read to the end, not to the size seen at opening: a writer may add.
    char buffer[65536];
    DWORD read = 0;
    while (::ReadFile(file.get(), buffer, sizeof(buffer), &read, nullptr) && read > 0)
        bytes.append(buffer, read);
    return bytes;
}

zrv::unique_handle StartProgram(const std::wstring& commandLine) {
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                          &pi)) {
        return zrv::unique_handle();
    }
    ::CloseHandle(pi.hThread);
    return zrv::unique_handle(pi.hProcess);
}

int RunProgram(const std::wstring& commandLine, unsigned timeoutMs) {
    const zrv::unique_handle process = StartProgram(commandLine);
    if (!process) return -1;
    DWORD code = static_cast<DWORD>(-1);
    if (::WaitForSingleObject(process.get(), timeoutMs) == WAIT_OBJECT_0) {
        ::GetExitCodeProcess(process.get(), &code);
    } else {
        ::TerminateProcess(process.get(), 1);
    }
    return static_cast<int>(code);
}

}  // namespace zrvtest
