#include "category_sources.h"

#include <windows.h>
#include <shlobj.h>

#include "categorylist/category_names.h"
#include "categorylist/server.h"
#include "components/component_ids.h"
#include "support/class_registration.h"
#include "support/com_ptr.h"
#include "support/handles.h"
#include "support/bstr.h"

namespace zrvcatlist {
namespace {

// A catalogue is a few hundred bytes; anything this large is not one.
constexpr DWORD kMaxCatalogueBytes = 1 << 20;

std::wstring EnvironmentValue(const wchar_t* name) {
    std::wstring value(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n =
            ::GetEnvironmentVariableW(name, &value[0], static_cast<DWORD>(value.size()));
        if (n == 0) return std::wstring();
        if (n < value.size()) {
            value.resize(n);
            return value;
        }
        value.resize(n);
    }
}

std::wstring UserCataloguePath() {
    wchar_t folder[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder))) {
        return std::wstring();
    }
    return std::wstring(folder) + L"\\Lumatrel\\DocumentStore\\categories.txt";
}

std::wstring ShippedCataloguePath() {
    std::wstring path;
    if (FAILED(zrv::ModuleFileName(ServerInstance(), path))) return std::wstring();
    return path.substr(0, path.find_last_of(L"\\/") + 1) + L"categories.txt";
}

bool FileExists(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool ReadSmallFile(const std::wstring& path, std::string& bytes) {
    zrv::unique_hfile file(::CreateFileW(path.c_str(), GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    LARGE_INTEGER size = {};
    if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart > kMaxCatalogueBytes) return false;
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!bytes.empty() &&
        !::ReadFile(file.get(), &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr)) {
        return false;
    }
    bytes.resize(read);
    return true;
}

}  // namespace

std::wstring CataloguePath() {
    std::wstring path = EnvironmentValue(L"ZRV_CATEGORY_CATALOG");
    if (!path.empty()) return path;
    path = UserCataloguePath();
    if (!path.empty() && FileExists(path)) return path;
    return ShippedCataloguePath();
}

std::vector<std::wstring> LoadCatalogueNames() {
    std::string bytes;
    if (!ReadSmallFile(CataloguePath(), bytes)) return {};
    return ParseCatalogue(DecodeTextFile(bytes));
}

std::vector<std::wstring> LoadDocumentNames(const std::wstring& path) {
    zrv::com_ptr<IDocumentCatalog> catalog;
    if (FAILED(::CoCreateInstance(CLSID_DocumentCatalog, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IDocumentCatalog, catalog.put_void())) ||
        !catalog) {
        return {};
    }
    CComBSTR document;
    document.Attach(::SysAllocStringLen(path.data(), static_cast<UINT>(path.size())));
    if (!document || FAILED(catalog->OpenDocument(document.get()))) return {};
    CComBSTR text;
    catalog->GetStringProperty(DOCPROP_CATEGORIES, text.put());
    std::vector<std::wstring> names = SplitCategoryText(text.get());
    SortForDisplay(names);
    return names;
}

}  // namespace zrvcatlist
