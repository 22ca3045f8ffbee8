#include "store_paths.h"

#include <shlobj.h>

#include <string_view>
#include <utility>
#include <vector>

#include "store/core/document_record.h"
#include "store/core/store_format.h"

namespace zrvstore {

namespace {

HRESULT FullPath(const wchar_t* path, std::wstring& full) {
    DWORD needed = ::GetFullPathNameW(path, 0, nullptr, nullptr);
    for (int attempt = 0; attempt < 3 && needed != 0; ++attempt) {
        std::vector<wchar_t> buffer(needed);
        const DWORD length = ::GetFullPathNameW(path, needed, buffer.data(), nullptr);
        if (length == 0) break;
        if (length < needed) {
            full.assign(buffer.data(), length);
            return S_OK;
        }
        needed = length;  // the current folder changed between the calls
    }
    const DWORD error = ::GetLastError();
    return error ? HRESULT_FROM_WIN32(error) : E_INVALIDARG;
}

constexpr wchar_t kLongPrefix[] = L"\\\\?\\";
constexpr wchar_t kLongUncPrefix[] = L"\\\\?\\UNC\\";

bool StartsWith(std::wstring_view text, std::wstring_view prefix) noexcept {
    return text.size() >= prefix.size() &&
           ::CompareStringOrdinal(text.data(), static_cast<int>(prefix.size()), prefix.data(),
                                  static_cast<int>(prefix.size()), TRUE) == CSTR_EQUAL;
}

bool IsDriveRoot(std::wstring_view path) noexcept {
    return path.size() >= 3 && path[1] == L':' && path[2] == L'\\' &&
           ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'));
}

// A path without its \\?\ prefix when the rest is a drive or UNC path; unc
// tells the two apart, since "\\?\UNC\srv" and "\\srv" leave the same rest.
std::wstring_view PlainRest(std::wstring_view path, bool& unc) noexcept {
    unc = false;
    if (StartsWith(path, kLongUncPrefix)) {
        unc = true;
        return path.substr(ARRAYSIZE(kLongUncPrefix) - 1);
    }
    if (StartsWith(path, kLongPrefix) && IsDriveRoot(path.substr(ARRAYSIZE(kLongPrefix) - 1)))
        return path.substr(ARRAYSIZE(kLongPrefix) - 1);
    if (path.size() > 2 && path[0] == L'\\' && path[1] == L'\\' && path[2] != L'?' &&
        path[2] != L'.') {
        unc = true;
        return path.substr(2);
    }
    return path;
}

}  // namespace

HRESULT NormalizeDocumentPath(const wchar_t* path, std::wstring& normalized) {
    if (!path || !*path) return E_INVALIDARG;
    if (::wcslen(path) > kMaxPathChars) return kPathTooLong;
    std::wstring full;
    const HRESULT hr = FullPath(path, full);
    if (FAILED(hr)) return hr;
    bool unc = false;
    const std::wstring_view rest = PlainRest(full, unc);
    if (rest.size() != full.size()) full = (unc ? L"\\\\" : L"") + std::wstring(rest);
    if (full.empty()) return E_INVALIDARG;
    if (full.size() > kMaxPathChars) return kPathTooLong;
    normalized = std::move(full);
    return S_OK;
}

bool SameDocumentPath(const std::wstring& a, const std::wstring& b) noexcept {
    bool uncA = false, uncB = false;
    const std::wstring_view restA = PlainRest(a, uncA);
    const std::wstring_view restB = PlainRest(b, uncB);
    return uncA == uncB && restA.size() == restB.size() &&
           ::CompareStringOrdinal(restA.data(), static_cast<int>(restA.size()), restB.data(),
                                  static_cast<int>(restB.size()), TRUE) == CSTR_EQUAL;
}

HRESULT ResolveStoreFile(std::wstring& storeFile) {
    std::vector<wchar_t> configured(MAX_PATH);
    for (;;) {
        const DWORD length = ::GetEnvironmentVariableW(kStoreEnvironmentVariable, configured.data(),
                                                       static_cast<DWORD>(configured.size()));
        if (length < configured.size()) break;
        configured.resize(length);  // the size needed, terminator included
    }
    if (configured[0]) {
        if (::wcslen(configured.data()) > kMaxStoreFileChars) return kPathTooLong;
        const HRESULT hr = FullPath(configured.data(), storeFile);
        if (FAILED(hr)) return hr;
        return storeFile.size() > kMaxStoreFileChars ? kPathTooLong : S_OK;
    }

    wchar_t appData[MAX_PATH] = {};
    const HRESULT hr =
        ::SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData);
    if (FAILED(hr)) return hr;
    if (hr == S_FALSE) return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    storeFile = std::wstring(appData) + L"\\Lumatrel\\DocumentStore\\documents.store";
    return S_OK;
}

std::wstring FileSystemPath(const std::wstring& file) {
    if (file.size() < MAX_PATH || StartsWith(file, kLongPrefix) || StartsWith(file, L"\\\\.\\"))
        return file;
    bool unc = false;
    const std::wstring_view rest = PlainRest(file, unc);
    if (unc) return kLongUncPrefix + std::wstring(rest);
    return IsDriveRoot(file) ? kLongPrefix + file : file;
}

HRESULT CreateFolderOf(const std::wstring& file) {
    const size_t slash = file.find_last_of(L"\\/");
    if (slash == std::wstring::npos || slash == 0) return S_OK;
    const std::wstring folder = file.substr(0, slash);
    const std::wstring onDisk = FileSystemPath(folder);
    // Something that is no folder is left for the open that follows to report.
    if (::GetFileAttributesW(onDisk.c_str()) != INVALID_FILE_ATTRIBUTES) return S_OK;
    // A drive root or a share that cannot be reached ends the climb here.
    if (folder.size() <= 3 || folder.back() == L':')
        return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    const HRESULT hr = CreateFolderOf(folder);
    if (FAILED(hr)) return hr;
    if (::CreateDirectoryW(onDisk.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS)
        return S_OK;
    return HRESULT_FROM_WIN32(::GetLastError());
}

std::wstring CompanionFile(const std::wstring& storeFile, const wchar_t* extension) {
    const size_t slash = storeFile.find_last_of(L"\\/");
    const size_t dot = storeFile.find_last_of(L'.');
    const bool hasExtension =
        dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash);
    std::wstring companion = (hasExtension ? storeFile.substr(0, dot) : storeFile) + extension;
    // A store that already carries the companion's extension must not share
    // its file with it.
    if (SameDocumentPath(companion, storeFile)) companion = storeFile + extension;
    return companion;
}

}  // namespace zrvstore
