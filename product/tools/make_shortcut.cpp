// Saves a shell shortcut: make_shortcut <shortcut.lnk> <target>. The demo uses
// it to show the properties of a folder reached through a shortcut.

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::fwprintf(stderr, L"usage: make_shortcut <shortcut.lnk> <target>\n");
        return 2;
    }
    if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
    int code = 1;
    IShellLinkW* link = nullptr;
    if (SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IShellLinkW, reinterpret_cast<void**>(&link)))) {
        IPersistFile* file = nullptr;
        if (SUCCEEDED(link->SetPath(argv[2])) &&
            SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
            if (SUCCEEDED(file->Save(argv[1], TRUE))) code = 0;
            file->Release();
        }
        link->Release();
    }
    if (code != 0) std::fwprintf(stderr, L"make_shortcut: %ls could not be saved\n", argv[1]);
    ::CoUninitialize();
    return code;
}
