#include "store_journal.h"

#include <shlobj.h>

#include "store/core/store_lock.h"
#include "store/core/store_paths.h"
#include "store/core/utf8.h"
#include "support/handles.h"

namespace zrvstore {

namespace {

HRESULT LastError() {
    const DWORD error = ::GetLastError();
    return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
}

// One call, one line, whatever text a caller passed as a path.
std::wstring PathField(const std::wstring& path) {
    if (path.empty()) return L"<none>";
    std::wstring field = path;
    for (wchar_t& c : field) {
        if (c == L'\r' || c == L'\n') c = L' ';
    }
    return field;
}

}  // namespace

StoreJournal::StoreJournal(const std::wstring& storeFile)
    : m_storeFile(storeFile), m_file(CompanionFile(storeFile, L".journal")) {}

HRESULT StoreJournal::Append(const std::wstring& line) const {
    const std::string bytes = ToUtf8(line) + "\n";
    StoreLock lock;
    HRESULT hr = lock.Acquire(m_storeFile);
    if (FAILED(hr)) return hr;

    CreateFolderOf(m_file);
    zrv::unique_hfile file(::CreateFileW(FileSystemPath(m_file).c_str(),
                                         GENERIC_READ | GENERIC_WRITE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return LastError();
    LARGE_INTEGER size = {};
    if (!::GetFileSizeEx(file.get(), &size)) return LastError();
    const LARGE_INTEGER zero = {};
    if (size.QuadPart + bytes.size() > kMaxJournalBytes) {
        if (!::SetFilePointerEx(file.get(), zero, nullptr, FILE_BEGIN) ||
            !::SetEndOfFile(file.get()))
            return LastError();
    } else if (!::SetFilePointerEx(file.get(), zero, nullptr, FILE_END)) {
        return LastError();
    }
    DWORD written = 0;
    if (!::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr))
        return LastError();
    return written == bytes.size() ? S_OK : HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
}

HRESULT StoreJournal::Record(const wchar_t* operation, int id, const std::wstring& path) const {
    return Append(std::wstring(operation) + L" " + std::to_wstring(id) + L" " + PathField(path));
}

HRESULT StoreJournal::Record(const wchar_t* operation, const std::wstring& path) const {
    return Append(std::wstring(operation) + L" " + PathField(path));
}

HRESULT StoreJournal::Read(std::string& utf8) const {
    utf8.clear();
    StoreLock lock;
    HRESULT hr = lock.Acquire(m_storeFile);
    if (FAILED(hr)) return hr;
    zrv::unique_hfile file(::CreateFileW(FileSystemPath(m_file).c_str(), GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                   ? S_OK
                   : HRESULT_FROM_WIN32(error);
    }
    char buffer[4096];
    DWORD read = 0;
    while (::ReadFile(file.get(), buffer, sizeof(buffer), &read, nullptr) && read > 0)
        utf8.append(buffer, read);
    return S_OK;
}

HRESULT StoreJournal::Clear() const {
    StoreLock lock;
    HRESULT hr = lock.Acquire(m_storeFile);
    if (FAILED(hr)) return hr;
    if (::DeleteFileW(FileSystemPath(m_file).c_str())) return S_OK;
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
               ? S_OK
               : HRESULT_FROM_WIN32(error);
}

}  // namespace zrvstore
