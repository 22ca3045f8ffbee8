#pragma once
// Files, folders and shortcuts for selection tests, and the sheet plumbing
// that a host would use.

#include <windows.h>
#include <objidl.h>
#include <prsht.h>

#include <string>
#include <vector>

#include "support/com_ptr.h"

namespace zrvtest {

// A scratch folder that is removed with everything in it at the end.
class ScratchFolder {
  public:
    explicit ScratchFolder(const wchar_t* tag);
    ~ScratchFolder();
    const std::wstring& path() const { return m_path; }
    std::wstring File(const std::wstring& name, const std::string& bytes = "x") const;
    std::wstring Folder(const std::wstring& name) const;

  private:
    std::wstring m_path;
};

// Saves a shortcut at linkPath that points at target.
bool MakeShortcut(const std::wstring& linkPath, const std::wstring& target);

zrv::com_ptr<IDataObject> DropData(const std::vector<std::wstring>& paths);

// Collects page handles the way a host's add-page callback does.
struct PageCollector {
    static BOOL CALLBACK Accept(HPROPSHEETPAGE page, LPARAM param);
    static BOOL CALLBACK Refuse(HPROPSHEETPAGE page, LPARAM param);
    std::vector<HPROPSHEETPAGE> pages;
    int offered = 0;
};

}  // namespace zrvtest
