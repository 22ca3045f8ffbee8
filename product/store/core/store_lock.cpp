#include "store_lock.h"

#include <vector>

#include "support/mutex_lock.h"

namespace zrvstore {

StoreLock::~StoreLock() {
    if (m_held) ::ReleaseMutex(m_mutex.get());
}

std::wstring StoreLock::MutexName(const std::wstring& storeFile) {
    std::vector<wchar_t> upper(storeFile.begin(), storeFile.end());
    if (!upper.empty()) ::CharUpperBuffW(upper.data(), static_cast<DWORD>(upper.size()));
    // FNV-1a over the upper-cased path: names may not hold backslashes.
    unsigned long long hash = 14695981039346656037ull;
    for (wchar_t c : upper) {
        hash ^= static_cast<unsigned short>(c);
        hash *= 1099511628211ull;
    }
    wchar_t name[64] = {};
    ::wsprintfW(name, L"ZRVDocumentStore.%08lX%08lX", static_cast<unsigned long>(hash >> 32),
                static_cast<unsigned long>(hash & 0xFFFFFFFFu));
    return name;
}

HRESULT StoreLock::Acquire(const std::wstring& storeFile, DWORD timeoutMs) {
    if (m_held) return E_UNEXPECTED;
    m_mutex.reset(::CreateMutexW(nullptr, FALSE, MutexName(storeFile).c_str()));
    if (!m_mutex) return HRESULT_FROM_WIN32(::GetLastError());
    switch (zrv::wait_for_mutex(m_mutex.get(), timeoutMs)) {
        case zrv::mutex_wait::acquired:
        case zrv::mutex_wait::abandoned:
            m_held = true;
            return S_OK;
        case zrv::mutex_wait::timed_out:
            return kStoreBusy;
        default:
            return HRESULT_FROM_WIN32(::GetLastError());
    }
}

}  // namespace zrvstore
