#include "file_tree.h"

#include <string>

namespace zrvtest {

namespace {

bool MakeFile(const std::wstring& path, DWORD size) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    static const std::string bytes(4096, 't');
    DWORD written = 0;
    const bool ok =
        size == 0 || (::WriteFile(file, bytes.data(), size, &written, nullptr) && written == size);
    ::CloseHandle(file);
    return ok;
}

}  // namespace

bool BuildFileTree(const std::wstring& root, ULONGLONG entries, FileTree& tree, bool withContent) {
    tree = FileTree();
    const ULONGLONG branches = (entries + kEntriesPerBranch / 2) / kEntriesPerBranch;
    for (ULONGLONG b = 0; b < branches; ++b) {
        const std::wstring branch = root + L"\\b" + std::to_wstring(b);
        if (!::CreateDirectoryW(branch.c_str(), nullptr)) return false;
        ++tree.folders;
        for (ULONGLONG l = 0; l < kLeavesPerBranch; ++l) {
            const std::wstring leaf = branch + L"\\l" + std::to_wstring(l);
            if (!::CreateDirectoryW(leaf.c_str(), nullptr)) return false;
            ++tree.folders;
            for (ULONGLONG f = 0; f < kFilesPerLeaf; ++f) {
                const DWORD size =
                    withContent ? static_cast<DWORD>((b * 7919 + l * 104729 + f * 31) % 3000) : 0;
                if (!MakeFile(leaf + L"\\f" + std::to_wstring(f) + L".dat", size)) return false;
                ++tree.files;
                tree.bytes += size;
            }
        }
    }
    return true;
}

void ClearFileTree(const std::wstring& root) {
    WIN32_FIND_DATAW entry;
    HANDLE search = ::FindFirstFileW((root + L"\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring path = root + L"\\" + name;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            ClearFileTree(path);
            ::RemoveDirectoryW(path.c_str());
        } else {
            ::DeleteFileW(path.c_str());
        }
    } while (::FindNextFileW(search, &entry));
    ::FindClose(search);
}

}  // namespace zrvtest
