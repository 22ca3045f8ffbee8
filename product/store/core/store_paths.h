#pragma once
// Document paths as the store compares them, and where the store file lives.

#include <windows.h>

#include <string>

namespace zrvstore {

// The environment variable that names the store file in full, overriding the
// per-user default %APPDATA%\Lumatrel\DocumentStore\documents.store.
constexpr wchar_t kStoreEnvironmentVariable[] = L"ZRV_DOCUMENT_STORE";

// The full path that GetFullPathNameW makes of `path`. Null or empty:
// E_INVALIDARG; longer than kMaxPathChars: kPathTooLong.
HRESULT NormalizeDocumentPath(const wchar_t* path, std::wstring& normalized);

// Case-insensitive, as the file system compares names.
bool SameDocumentPath(const std::wstring& a, const std::wstring& b) noexcept;

// The store file this process uses now.
HRESULT ResolveStoreFile(std::wstring& storeFile);

// A file beside the store: the store's name with its extension replaced.
std::wstring CompanionFile(const std::wstring& storeFile, const wchar_t* extension);

}  // namespace zrvstore
