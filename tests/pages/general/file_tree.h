#pragma once
// Large folder trees for the size walk: about a third folders, the rest
// files of assorted small sizes.

#include <windows.h>

#include <string>

namespace zrvtest {

// Each branch folder holds kLeavesPerBranch leaf folders, and each leaf
// kFilesPerLeaf files: one folder to two files.
constexpr ULONGLONG kLeavesPerBranch = 99;
constexpr ULONGLONG kFilesPerLeaf = 2;
constexpr ULONGLONG kEntriesPerBranch = 1 + kLeavesPerBranch * (1 + kFilesPerLeaf);

struct FileTree {
    ULONGLONG folders = 0;  // below the root
    ULONGLONG files = 0;
    ULONGLONG bytes = 0;
    ULONGLONG entries() const { return folders + files; }
};

// Creates about `entries` entries below root (an existing, empty folder);
// the files are empty unless withContent. False when the file system
// refused one.
bool BuildFileTree(const std::wstring& root, ULONGLONG entries, FileTree& tree,
                   bool withContent = true);

// Deletes everything below root, leaving root itself. The shell's own
// delete takes minutes for a tree of this size under Wine.
void ClearFileTree(const std::wstring& root);

}  // namespace zrvtest
