#include "store_paths.h"

#include <shlobj.h>

#include <vector>

#include "document_record.h"
#include "store_format.h"

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

}  // namespace

HRESULT NormalizeDocumentPath(const wchar_t* path, std::wstring& normalized) {
    if (!path || !*path) return E_INVALIDARG;
    if (::wcslen(path) > kMaxPathChars) return kPathTooLong;
    std::wstring full;
    const HRESULT hr = FullPath(path, full);
    if (FAILED(hr)) return hr;
    if (full.empty()) return E_INVALIDARG;
    if (full.size() > kMaxPathChars) return kPathTooLong;
    normalized = std::move(full);
    return S_OK;
}

bool SameDocumentPath(const std::wstring& a, const std::wstring& b) noexcept {
    return a.size() == b.size() &&
           ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                  static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

HRESULT ResolveStoreFile(std::wstring& storeFile) {
    wchar_t configured[MAX_PATH * 2] = {};
    const DWORD length =
        ::GetEnvironmentVariableW(kStoreEnvironmentVariable, configured, ARRAYSIZE(configured));
    if (length >= ARRAYSIZE(configured)) return kPathTooLong;
    if (length > 0) return FullPath(configured, storeFile);

    wchar_t appData[MAX_PATH] = {};
    const HRESULT hr =
        ::SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData);
    if (FAILED(hr)) return hr;
    if (hr == S_FALSE) return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    storeFile = std::wstring(appData) + L"\\Lumatrel\\DocumentStore\\documents.store";
    return S_OK;
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
