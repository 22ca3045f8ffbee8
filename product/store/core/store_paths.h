#pragma once
// Document paths as the store compares them, and where the store file lives.

#include <windows.h>

#include <string>

namespace zrvstore {

// The environment variable that names the store file in full, overriding the
// per-user default %APPDATA%\Lumatrel\DocumentStore\documents.store.
constexpr wchar_t kStoreEnvironmentVariable[] = L"ZRV_DOCUMENT_STORE";

// The longest store file path the store can open: its companion files add
// at most 8 characters and the \\?\UNC\ form at most 6 to a path of at most
// 32767 characters, terminator included.
constexpr size_t kMaxStoreFileChars = 32767 - 1 - 8 - 6;

// The full path that GetFullPathNameW makes of `path`, in its plain form
// when given as \\?\X:\... or \\?\UNC\...: one document, one record. Null or
// empty: E_INVALIDARG; longer than kMaxPathChars: kPathTooLong.
HRESULT NormalizeDocumentPath(const wchar_t* path, std::wstring& normalized);

// Case-insensitive, as the file system compares names; a \\?\ form and its
// plain form are the same path (records saved before kept that form).
bool SameDocumentPath(const std::wstring& a, const std::wstring& b) noexcept;

// The store file this process uses now, as a full path. Longer than
// kMaxStoreFileChars: kPathTooLong.
HRESULT ResolveStoreFile(std::wstring& storeFile);

// The form in which the store opens `file`: the \\?\ form for a full path of
// MAX_PATH or more, which Windows opens only in that form.
std::wstring FileSystemPath(const std::wstring& file);

// Creates the folder that holds `file`, with every missing parent.
HRESULT CreateFolderOf(const std::wstring& file);

// A file beside the store: the store's name with its extension replaced.
std::wstring CompanionFile(const std::wstring& storeFile, const wchar_t* extension);

}  // namespace zrvstore
