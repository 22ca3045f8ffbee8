#include "shell_fixtures.h"

#include <shlobj.h>

#include "common/hdrop_data_object.h"
#include "common/test_paths.h"

namespace zrvtest {

ScratchFolder::ScratchFolder(const wchar_t* tag) : m_path(MakeScratchFolder(tag)) {}
ScratchFolder::~ScratchFolder() { RemoveTree(m_path); }

std::wstring ScratchFolder::File(const std::wstring& name, const std::string& bytes) const {
    const std::wstring full = m_path + L"\\" + name;
    WriteFileBytes(full, bytes);
    return full;
}

std::wstring ScratchFolder::Folder(const std::wstring& name) const {
    const std::wstring full = m_path + L"\\" + name;
    ::CreateDirectoryW(full.c_str(), nullptr);
    return full;
}

bool MakeShortcut(const std::wstring& linkPath, const std::wstring& target) {
    zrv::com_ptr<IShellLinkW> link;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  link.put_void()))) {
        return false;
    }
    if (FAILED(link->SetPath(target.c_str()))) return false;
    zrv::com_ptr<IPersistFile> file;
    if (FAILED(link.query(IID_IPersistFile, file))) return false;
    return SUCCEEDED(file->Save(linkPath.c_str(), TRUE));
}

zrv::com_ptr<IDataObject> DropData(const std::vector<std::wstring>& paths) {
    zrv::com_ptr<IDataObject> data;
    zrvproduct::CreateDropDataObject(paths, data.put());
    return data;
}

BOOL CALLBACK PageCollector::Accept(HPROPSHEETPAGE page, LPARAM param) {
    auto* self = reinterpret_cast<PageCollector*>(param);
    ++self->offered;
    self->pages.push_back(page);
    return TRUE;
}

BOOL CALLBACK PageCollector::Refuse(HPROPSHEETPAGE, LPARAM param) {
    ++reinterpret_cast<PageCollector*>(param)->offered;
    return FALSE;
}

}  // namespace zrvtest
