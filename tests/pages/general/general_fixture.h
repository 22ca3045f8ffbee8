#pragma once
// What the General page suites share: the page shown in a real sheet, the
// size figures it was given, its worker's end, and files with chosen sizes,
// times and attributes.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/threads.h"
#include "handlers/shell_fixtures.h"
#include "pages/common/page_harness.h"
#include "pages/general/file_tree.h"

namespace zrvtest {

// Every suite runs with the product's shared localizer map, as the product
// does: lookups then use the in-process application services, which read
// ZRV_LANGUAGE and ZRV_CATALOG_EXTRA from this process.
void EnsureLocalizerMap();

// Records every text the Size field of a page of this thread is given, from
// its creation on, whichever thread asked for it, and counts the size
// updates (WM_APP) that reach the windows of this thread.
class SizeFigureLog {
  public:
    SizeFigureLog();
    ~SizeFigureLog();
    SizeFigureLog(const SizeFigureLog&) = delete;
    SizeFigureLog& operator=(const SizeFigureLog&) = delete;

    std::vector<std::wstring> figures() const;
    size_t updates() const;

  private:
    HHOOK m_hook = nullptr;
};

// Runs the sheet until every size worker of this program has ended, or
// timeoutMs passed; true when they ended.
bool WaitForSizeWorkers(PageSheet& sheet, DWORD timeoutMs = 10000);

// The General page of one path, shown in a modeless sheet.
class GeneralSheet : public PageSheet {
  public:
    explicit GeneralSheet(const std::wstring& path);
    HWND page() { return Page(0); }
    std::wstring Text(int id) { return WindowText(Control(0, id)); }
    bool WaitForWorker(DWORD timeoutMs = 10000) { return WaitForSizeWorkers(*this, timeoutMs); }
};

// A modeless sheet with the General page of path, made step by step as a
// host does; beforeShow runs between the handler's Initialize and the
// sheet's creation. Null when the handler refused the path.
HWND CreateGeneralSheet(const std::wstring& path,
                        void (*beforeShow)(const std::wstring&) = nullptr);
// Runs the thread's messages for ms milliseconds. Unlike running them until
// none are waiting, this ends while a worker keeps the page repainting.
void PumpFor(HWND sheet, DWORD ms);

// The attribute word, or INVALID_FILE_ATTRIBUTES.
DWORD Attributes(const std::wstring& path);
// Sets attributes and answers whether the file system kept exactly them.
bool SetAttributesKept(const std::wstring& path, DWORD attributes);
// A file of exactly size bytes, written or (for large sizes) extended.
bool MakeFileOfSize(const std::wstring& path, ULONGLONG size);

// The host system under Wine: Unix programs run by their path. Each answers
// false where that is not possible (on Windows itself).
// A symbolic link at link to the folder target, which Wine lists as a
// folder reparse point, as Windows lists a junction.
bool MakeFolderLink(const std::wstring& link, const std::wstring& target);
// Removes the link itself, not what it leads to.
void RemoveFolderLink(const std::wstring& link);
// Marks the folder read-only: by its attribute where the file system keeps
// it there, else by taking away write permission, which Wine shows so.
bool MakeFolderReadOnly(const std::wstring& folder);
void MakeFolderWritable(const std::wstring& folder);
// A file f.bin of `bytes` bytes in root + folders (each folder name after a
// backslash, spelled as the host keeps it), folders made as needed by the
// host, which takes any name and any depth.
bool MakeFileOnHost(const std::wstring& root, const std::wstring& folders, ULONGLONG bytes);
// A chain of `levels` folders named "d", one inside the other, below root,
// with a file of `bytes` bytes in the deepest; made by the host, which is
// fast at any depth. Its Windows path, or empty when it could not be made.
std::wstring MakeFolderChain(const std::wstring& root, int levels, ULONGLONG bytes);
// The chain alone, without a file, its folders called name; it may go
// deeper than the host's own path limit, and so deeper than Wine can follow.
bool MakeFolderChainOnly(const std::wstring& root, int levels, const std::wstring& name = L"d");
void RemoveFolderChain(const std::wstring& root, const std::wstring& name = L"d");

// The tree BuildFileTree makes with empty files, in root (which must not
// exist yet), made by the host in seconds where Wine takes minutes; false
// where the host cannot. RemoveFolderChain(parent, name) takes it away.
bool BuildEmptyFileTreeOnHost(const std::wstring& root, ULONGLONG entries, FileTree& tree);

// A shortcut to target saved in folder; its path.
std::wstring ShortcutTo(const ScratchFolder& folder, const std::wstring& name,
                        const std::wstring& target);

}  // namespace zrvtest
