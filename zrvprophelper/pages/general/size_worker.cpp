#include "size_worker.h"

#include <objbase.h>
#include <process.h>
#include <shlwapi.h>

#include <climits>
#include <cwchar>
#include <memory>
#include <new>
#include <utility>

#include "localization/localizer.h"
#include "pages/general/sent_messages.h"
#include "pages/general/size_figure.h"
#include "support/hresult.h"

namespace {

volatile LONG g_liveWorkers = 0;

bool IsDotEntry(const wchar_t* name) noexcept {
    return ::StrCmpW(name, L".") == 0 || ::StrCmpW(name, L"..") == 0;
}

// Every folder is walked, whatever else its attribute word says: Windows
// marks many ordinary folders read-only or system. Junctions, symbolic links
// and mount points lead to folders counted elsewhere or to an ancestor, so
// they are never entered.
bool IsFolderToWalk(DWORD attributes) noexcept {
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

// The path in its literal form ("\\\\?\\C:\\..." or "\\\\?\\UNC\\..."), which the
// file system takes as spelled: a plain path would drop the trailing dots
// of a folder named "t." and so list its sibling "t" in its place. The path
// is made full first, as a plain path lookup would make it; one that cannot
// be is kept as it is.
HRESULT LiteralPath(const CString& path, CString& literal) noexcept {
    literal = path;
    if (std::wcsncmp(path, L"\\\\?\\", 4) == 0 || std::wcsncmp(path, L"\\\\.\\", 4) == 0)
        return S_OK;
    const DWORD size = ::GetFullPathNameW(path, 0, nullptr, nullptr);
    if (size == 0 || size > INT_MAX) return S_OK;
    CString full;
    wchar_t* buffer = full.GetBuffer(static_cast<int>(size));
    if (!buffer) return E_OUTOFMEMORY;
    const DWORD length = ::GetFullPathNameW(path, size, buffer, nullptr);
    if (length == 0 || length >= size) return S_OK;
    ZRV_RETURN_IF_FAILED(full.ReleaseBuffer(static_cast<int>(length)));
    CString made;
    if (length >= 3 && full[1] == L':' && full[2] == L'\\') {
        ZRV_RETURN_IF_FAILED(made.SetString(L"\\\\?\\"));
        ZRV_RETURN_IF_FAILED(made.Append(full));
    } else if (std::wcsncmp(full, L"\\\\", 2) == 0) {
        ZRV_RETURN_IF_FAILED(made.SetString(L"\\\\?\\UNC"));
        ZRV_RETURN_IF_FAILED(made.Append(full.GetString() + 1));
    } else {
        return S_OK;
    }
    literal = made;
    return S_OK;
}

// A folder removed, renamed or replaced by a file since its parent was
// listed, or one we may not list.
bool IsGoneOrClosed(DWORD error) noexcept {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
           error == ERROR_DIRECTORY || error == ERROR_ACCESS_DENIED;
}

// A folder that became a file since its parent was listed cannot be listed
// either, and the file system may say so with an error of its own (a file's
// path as a folder's is an invalid name to Wine): what the entry is now
// tells.
bool IsNoLongerAFolder(const CString& path) noexcept {
    const DWORD attributes = ::GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return IsGoneOrClosed(::GetLastError());
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The worker's single-threaded apartment, so that the product's localizer
// serves it in-process on this thread. Its entry in the shared localizer map
// is cleared while the apartment still exists, rather than at thread detach
// under the loader lock.
class WorkerApartment {
  public:
    WorkerApartment() noexcept
        : m_joined(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    WorkerApartment(const WorkerApartment&) = delete;
    WorkerApartment& operator=(const WorkerApartment&) = delete;
    ~WorkerApartment() {
        ReleaseThreadLocalizer();
        if (m_joined) ::CoUninitialize();
    }

  private:
    bool m_joined;
};

// What the thread is started with and owns: its reference on the job, and
// one on this module, which it gives back with its very last instruction.
struct WorkerStart {
    zrv::com_ptr<SizeJob> job;
    zrv::unique_hmodule module;
};

unsigned __stdcall SizeWorkerProc(void* argument);

}  // namespace

LONG LiveSizeWorkers() noexcept { return ::InterlockedCompareExchange(&g_liveWorkers, 0, 0); }

zrv::unique_handle StartSizeWorker(SizeJob* job) noexcept {
    std::unique_ptr<WorkerStart> start(new (std::nothrow) WorkerStart);
    if (!start || !job) return zrv::unique_handle();
    start->job = zrv::com_ptr<SizeJob>(job);
    // The thread keeps this module loaded until its very last instruction,
    // even when the host lets go of the module meanwhile.
    if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                              reinterpret_cast<LPCWSTR>(&SizeWorkerProc), start->module.put())) {
        return zrv::unique_handle();
    }

    ::InterlockedIncrement(&g_liveWorkers);
    zrv::unique_handle thread(reinterpret_cast<HANDLE>(
        ::_beginthreadex(nullptr, 0, &SizeWorkerProc, start.get(), CREATE_SUSPENDED, nullptr)));
    if (thread && ::ResumeThread(thread.get()) == static_cast<DWORD>(-1)) {
        // It never ran a single instruction of ours, so ending it loses nothing.
        ::TerminateThread(thread.get(), 0);
        ::WaitForSingleObject(thread.get(), INFINITE);
        thread.reset();
    }
    if (!thread) {
        ::InterlockedDecrement(&g_liveWorkers);
        return thread;
    }
    // The running thread owns what it was started with.
    start.release();
    return thread;
}

void StopSizeWorker(SizeJob& job, zrv::unique_handle& thread, DWORD timeoutMs) noexcept {
    const DWORD deadline = ::GetTickCount() + timeoutMs;
    job.Gate().Close(deadline);
    if (thread) {
        HANDLE handle = thread.get();
        for (;;) {
            const DWORD wait = ::MsgWaitForMultipleObjects(
                1, &handle, FALSE, MillisecondsLeft(deadline), QS_SENDMESSAGE);
            if (wait != WAIT_OBJECT_0 + 1) break;
            HandleSentMessages();
        }
    }
    thread.reset();
}

namespace {

unsigned __stdcall SizeWorkerProc(void* argument) {
    HMODULE module = nullptr;
    {
        std::unique_ptr<WorkerStart> start(static_cast<WorkerStart*>(argument));
        WorkerApartment apartment;
        // One localizer for the whole walk: it is found in the shared map
        // once, instead of once per entry.
        CZRVLocalizer localizer;
        SizeWalk walk(*start->job.get(), &localizer);
        walk.TotalSize(start->job->Path(), false);
        // Everything of ours is gone before the module may be.
        module = start->module.release();
    }
    ::InterlockedDecrement(&g_liveWorkers);
    ::FreeLibraryAndExitThread(module, 0);
    return 0;
}

}  // namespace

SizeWalk::SizeWalk(SizeJob& job, CZRVLocalizer* localizer) noexcept
    : m_job(job), m_localizer(localizer) {}

ULONGLONG SizeWalk::TotalSize(const CString& path, bool listFolder) noexcept {
    if (m_stopped) return 0;
    // A tree can be as deep as the platform lets paths grow, and Wine does
    // not stop plain paths at MAX_PATH (literal paths go further anywhere):
    // the walk keeps each open listing on the heap and shares one path
    // buffer and one find record between them, so that no depth can exhaust
    // the thread's stack.
    CString current;
    if (FAILED(LiteralPath(path, current))) return Unknown();
    WIN32_FIND_DATAW entry;
    zrv::nothrow_vector<FolderListing> listings;
    const DWORD opened = OpenListing(current, listFolder, entry, listings);
    if (opened == ERROR_NOT_ENOUGH_MEMORY) return Unknown();
    if (opened != ERROR_SUCCESS) return 0;

    for (;;) {
        FolderListing* listing = &listings.back();
        if (IsFolderToWalk(entry.dwFileAttributes)) {
            if (!IsDotEntry(entry.cFileName)) {
                // Looked up by its own path, the item is the entry found.
                if (FAILED(current.Truncate(static_cast<int>(listing->pathLength)))) {
                    return Unknown();
                }
                if (listing->listFolder &&
                    (FAILED(current.Append(L"\\")) || FAILED(current.Append(entry.cFileName)))) {
                    return Unknown();
                }
                // The child's first entry is the next one handled. One that
                // is gone or closed to us adds nothing and shows nothing of
                // its own; one that is there but cannot be listed for any
                // other reason (a path too long to follow, no handles left,
                // no memory for its listing) may hold anything, and no total
                // is shown at all.
                const DWORD error = OpenListing(current, true, entry, listings);
                if (error == ERROR_SUCCESS) continue;
                if (error == ERROR_NOT_ENOUGH_MEMORY ||
                    (!IsGoneOrClosed(error) && !IsNoLongerAFolder(current))) {
                    return Unknown();
                }
            }
        } else if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            listing->total +=
                (static_cast<ULONGLONG>(entry.nFileSizeHigh) << 32) + entry.nFileSizeLow;
        }
        // Each listing shows its own running total after each of its entries;
        // a finished one hands its total to its parent's entry. The next
        // entry is looked for first, so that the page learns which figure is
        // the walk's last.
        for (;;) {
            bool more = false;
            if (!m_stopped) {
                more = ::FindNextFileW(listing->search.get(), &entry) != FALSE;
                // A listing cut short (a network drop, a medium gone) may have
                // held anything: what was counted so far is no total.
                if (!more && ::GetLastError() != ERROR_NO_MORE_FILES) return Unknown();
            }
            const bool shown = Report(listing->total, !more && listings.size() == 1);
            if (m_unknown) return 0;
            if (shown && more) break;
            const ULONGLONG total = listing->total;
            listings.pop_back();
            if (listings.empty()) return total;
            listing = &listings.back();
            listing->total += total;
        }
    }
}

DWORD SizeWalk::OpenListing(CString& path, bool listFolder, WIN32_FIND_DATAW& entry,
                            zrv::nothrow_vector<FolderListing>& listings) noexcept {
    const int pathLength = path.GetLength();
    if (listFolder && FAILED(path.Append(L"\\*.*"))) return ERROR_NOT_ENOUGH_MEMORY;
    zrv::unique_hfind search(::FindFirstFileW(path, &entry));
    const DWORD error = search ? ERROR_SUCCESS : ::GetLastError();
    // Only shortened: the buffer is the path's own.
    if (FAILED(path.Truncate(pathLength))) return ERROR_NOT_ENOUGH_MEMORY;
    if (!search) return error != ERROR_SUCCESS ? error : ERROR_FILE_NOT_FOUND;
    if (FAILED(listings.push_back(
            FolderListing{std::move(search), 0, static_cast<size_t>(pathLength), listFolder}))) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    return ERROR_SUCCESS;
}

// The figure's text cannot be made (no memory): the walk ends short of its
// total, and a running figure left in the field would pass for it.
bool SizeWalk::Report(ULONGLONG total, bool last) noexcept {
    if (m_stopped || m_job.Gate().IsClosed()) {
        m_stopped = true;
        return false;
    }
    CString text;
    if (FAILED(SizeFigureText(total, m_localizer, text))) {
        Unknown();
        return false;
    }
    return Show(text, last);
}

ULONGLONG SizeWalk::Unknown() noexcept {
    ReportUnknown();
    m_unknown = true;
    return 0;
}

void SizeWalk::ReportUnknown() noexcept {
    if (!m_stopped) Show(CString(), true);
    m_stopped = true;
}

bool SizeWalk::Show(const CString& text, bool last) noexcept {
    SizeUpdateGate& gate = m_job.Gate();
    if (!gate.BeginSend()) {
        m_stopped = true;
        return false;
    }
    m_job.StoreText(text, last);
    // A page whose thread the host killed gets no WM_DESTROY and so never
    // shuts the gate; its window may even still count as one (under Wine).
    // The send fails then, at once or as that thread dies under it, and the
    // walk ends: nobody is left to show its figures to.
    DWORD_PTR answer = 0;
    const bool delivered =
        ::SendMessageTimeoutW(m_job.Target(), WM_APP, 0, 0, SMTO_NORMAL, INFINITE, &answer) != 0;
    gate.EndSend();
    if (!delivered) m_stopped = true;
    return delivered;
}
