#include "document_store.h"

#include <shlobj.h>

#include <algorithm>

#include "store/core/store_format.h"
#include "store/core/store_lock.h"
#include "store/core/store_paths.h"
#include "support/handles.h"

namespace zrvstore {

namespace {

HRESULT LastError() {
    const DWORD error = ::GetLastError();
    return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
}

HRESULT WriteWhole(HANDLE file, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
        if (!::WriteFile(file, bytes.data() + done, chunk, &written, nullptr)) return LastError();
        if (written == 0) return HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
        done += written;
    }
    return S_OK;
}

// Replaces the target in one step; a reader elsewhere briefly holding the
// file open (a virus scanner, a backup) makes the first tries fail.
HRESULT ReplaceFile(const std::wstring& from, const std::wstring& to) {
    const std::wstring source = FileSystemPath(from);
    const std::wstring target = FileSystemPath(to);
    for (int attempt = 0;; ++attempt) {
        if (::MoveFileExW(source.c_str(), target.c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return S_OK;
        const DWORD error = ::GetLastError();
        if (attempt >= 20 || (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION))
            return HRESULT_FROM_WIN32(error);
        ::Sleep(25);
    }
}

}  // namespace

HRESULT DocumentStore::Initialize() {
    std::wstring file;
    const HRESULT hr = ResolveStoreFile(file);
    if (FAILED(hr)) return hr;
    return Initialize(file);
}

HRESULT DocumentStore::Initialize(const std::wstring& storeFile) {
    if (storeFile.empty()) return E_INVALIDARG;
    m_file = storeFile;
    return S_OK;
}

HRESULT DocumentStore::ReadAll(std::vector<DocumentRecord>& documents) const {
    StoreLock lock;
    const HRESULT hr = lock.Acquire(m_file);
    if (FAILED(hr)) return hr;
    return ReadAllLocked(documents);
}

HRESULT DocumentStore::Find(const std::wstring& path, DocumentRecord& document, bool& found) const {
    found = false;
    std::vector<DocumentRecord> documents;
    const HRESULT hr = ReadAll(documents);
    if (FAILED(hr)) return hr;
    for (DocumentRecord& doc : documents) {
        if (SameDocumentPath(doc.path, path)) {
            document = std::move(doc);
            found = true;
            break;
        }
    }
    return S_OK;
}

HRESULT DocumentStore::Commit(const std::wstring& path, const DocumentChanges& changes,
                              ReadOnlyRule rule) {
    if (path.empty() || path.size() > kMaxPathChars) return E_INVALIDARG;
    StoreLock lock;
    HRESULT hr = lock.Acquire(m_file);
    if (FAILED(hr)) return hr;

    std::vector<DocumentRecord> documents;
    hr = ReadAllLocked(documents);
    if (FAILED(hr)) return hr;
    if (changes.Empty()) return S_OK;

    DocumentRecord* target = nullptr;
    for (DocumentRecord& doc : documents) {
        if (SameDocumentPath(doc.path, path)) {
            target = &doc;
            break;
        }
    }
    if (!target) {
        if (documents.size() >= kMaxDocuments) return kStoreFull;
        documents.emplace_back();
        target = &documents.back();
        target->path = path;
    }
    if (rule == ReadOnlyRule::Refuse && target->readOnly && changes.properties.present != 0)
        return E_ACCESSDENIED;
    ApplyChanges(changes, *target);
    return WriteAllLocked(documents);
}

HRESULT DocumentStore::ReadAllLocked(std::vector<DocumentRecord>& documents) const {
    documents.clear();
    zrv::unique_hfile file(::CreateFileW(FileSystemPath(m_file).c_str(), GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return S_OK;
        return HRESULT_FROM_WIN32(error);
    }
    LARGE_INTEGER size = {};
    if (!::GetFileSizeEx(file.get(), &size)) return LastError();
    if (size.QuadPart > static_cast<LONGLONG>(kMaxStoreBytes)) return kStoreDamaged;

    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD read = 0;
        if (!::ReadFile(file.get(), &bytes[done], static_cast<DWORD>(bytes.size() - done), &read,
                        nullptr))
            return LastError();
        if (read == 0) break;
        done += read;
    }
    // A file that shrank while read is as damaged as one that is short.
    if (done != bytes.size()) return kStoreDamaged;
    return ParseStore(bytes, documents);
}

// The new contents go to a file beside the store, reach the disk, and then
// replace the store in one rename: a crash at any point leaves either the
// old or the new file whole.
HRESULT DocumentStore::WriteAllLocked(const std::vector<DocumentRecord>& documents) const {
    // Windows refuses to replace a read-only file; Wine run by root replaces
    // it, so the store asks itself.
    const DWORD attributes = ::GetFileAttributesW(FileSystemPath(m_file).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        return E_ACCESSDENIED;
    std::string bytes;
    HRESULT hr = SerializeStore(documents, bytes);
    if (FAILED(hr)) return hr;
    hr = CreateFolderOf(m_file);
    if (FAILED(hr)) return hr;

    const std::wstring staging = m_file + L".new";
    {
        zrv::unique_hfile file(::CreateFileW(FileSystemPath(staging).c_str(), GENERIC_WRITE, 0,
                                             nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                             nullptr));
        if (!file) return LastError();
        hr = WriteWhole(file.get(), bytes);
        if (SUCCEEDED(hr) && !::FlushFileBuffers(file.get())) hr = LastError();
    }
    if (SUCCEEDED(hr)) hr = ReplaceFile(staging, m_file);
    if (FAILED(hr)) ::DeleteFileW(FileSystemPath(staging).c_str());
    return hr;
}

}  // namespace zrvstore
