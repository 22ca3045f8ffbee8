#include "size_worker.h"

#include <objbase.h>
#include <process.h>
#include <shlwapi.h>

#include "../../localization/localizer.h"
#include "size_figure.h"
#include "summary_page.h"

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

DWORD Remaining(DWORD deadline) noexcept {
    const LONG left = static_cast<LONG>(deadline - ::GetTickCount());
    return left > 0 ? static_cast<DWORD>(left) : 0;
}

// Lets messages that other threads send to this one through, and nothing
// else: posted messages stay queued for the thread's own loop.
void HandleSentMessages() noexcept {
    MSG message;
    ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
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

// Gives back the page reference the thread was started with, last of all.
class PageReference {
  public:
    explicit PageReference(CZRVPropPage* page) noexcept : m_page(page) {}
    PageReference(const PageReference&) = delete;
    PageReference& operator=(const PageReference&) = delete;
    ~PageReference() { m_page->Release(); }

  private:
    CZRVPropPage* m_page;
};

}  // namespace

bool SizeUpdateGate::BeginSend() noexcept {
    unsigned open = 0;
    return m_state.compare_exchange_strong(open, kSending);
}

void SizeUpdateGate::EndSend() noexcept { m_state.fetch_and(~kSending); }

bool SizeUpdateGate::IsClosed() const noexcept { return (m_state.load() & kClosed) != 0; }

void SizeUpdateGate::Close(DWORD deadline) noexcept {
    m_state.fetch_or(kClosed);
    // A worker inside its send waits for this very thread to handle the
    // message; the page's dialog procedure no longer passes it on.
    while ((m_state.load() & kSending) != 0 && Remaining(deadline) > 0) {
        HandleSentMessages();
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_SENDMESSAGE);
    }
}

LONG LiveSizeWorkers() noexcept { return ::InterlockedCompareExchange(&g_liveWorkers, 0, 0); }

HANDLE StartSizeWorker(CZRVPropPage_Summary* page) noexcept {
    // The thread keeps this module loaded until its very last instruction,
    // even when the host lets go of the module meanwhile.
    HMODULE module = nullptr;
    if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                              reinterpret_cast<LPCWSTR>(&SizeWorkerProc), &module)) {
        return nullptr;
    }
    page->m_workerModule = module;
    page->AddRef();
    ::InterlockedIncrement(&g_liveWorkers);

    HANDLE thread = reinterpret_cast<HANDLE>(
        ::_beginthreadex(nullptr, 0, &SizeWorkerProc, page, CREATE_SUSPENDED, nullptr));
    if (thread && ::ResumeThread(thread) == static_cast<DWORD>(-1)) {
        // It never ran a single instruction of ours, so ending it loses nothing.
        ::TerminateThread(thread, 0);
        ::WaitForSingleObject(thread, INFINITE);
        ::CloseHandle(thread);
        thread = nullptr;
    }
    if (!thread) {
        ::InterlockedDecrement(&g_liveWorkers);
        page->Release();
        ::FreeLibrary(module);
    }
    return thread;
}

void StopSizeWorker(SizeUpdateGate& gate, zrv::unique_handle& thread, DWORD timeoutMs) noexcept {
    const DWORD deadline = ::GetTickCount() + timeoutMs;
    gate.Close(deadline);
    if (thread) {
        HANDLE handle = thread.get();
        for (;;) {
            const DWORD wait =
                ::MsgWaitForMultipleObjects(1, &handle, FALSE, Remaining(deadline), QS_SENDMESSAGE);
            if (wait != WAIT_OBJECT_0 + 1) break;
            HandleSentMessages();
        }
    }
    thread.reset();
}

unsigned __stdcall SizeWorkerProc(void* argument) {
    auto* page = static_cast<CZRVPropPage_Summary*>(argument);
    const HMODULE module = page->m_workerModule;
    {
        PageReference reference(page);
        WorkerApartment apartment;
        // One localizer for the whole walk: it is found in the shared map
        // once, instead of once per entry.
        CZRVLocalizer localizer;
        SizeWalk walk(page, &localizer);
        try {
            walk.TotalSize(page->WorkerPath, false);
        } catch (...) {
            // Out of memory or an unusable text: the walk ends short of the
            // total, and a running figure left in the field would pass for it.
            walk.ReportUnknown();
        }
    }
    ::InterlockedDecrement(&g_liveWorkers);
    ::FreeLibraryAndExitThread(module, 0);
    return 0;
}

SizeWalk::SizeWalk(CZRVPropPage_Summary* page, CZRVLocalizer* localizer) noexcept
    : m_page(page), m_localizer(localizer) {}

ULONGLONG SizeWalk::TotalSize(const CString& path, bool listFolder) {
    if (m_stopped) return 0;
    const CString pattern = listFolder ? path + L"\\*.*" : path;
    WIN32_FIND_DATAW entry;
    zrv::unique_hfind search(::FindFirstFileW(pattern, &entry));
    if (!search) return 0;

    ULONGLONG total = 0;
    do {
        if (IsFolderToWalk(entry.dwFileAttributes)) {
            if (!IsDotEntry(entry.cFileName)) {
                // Looked up by its own path, the item is the entry found.
                total += TotalSize(listFolder ? path + L"\\" + entry.cFileName : path, true);
            }
        } else if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            total += (static_cast<ULONGLONG>(entry.nFileSizeHigh) << 32) + entry.nFileSizeLow;
        }
        if (!Report(total)) break;
    } while (::FindNextFileW(search.get(), &entry));
    return total;
}

bool SizeWalk::Report(ULONGLONG total) {
    if (m_stopped || m_page->m_sizeGate.IsClosed()) {
        m_stopped = true;
        return false;
    }
    return Show(SizeFigureText(total, m_localizer));
}

void SizeWalk::ReportUnknown() noexcept {
    if (!m_stopped) Show(CString());
    m_stopped = true;
}

bool SizeWalk::Show(const CString& text) noexcept {
    SizeUpdateGate& gate = m_page->m_sizeGate;
    if (!gate.BeginSend()) {
        m_stopped = true;
        return false;
    }
    m_page->StoreSizeText(text);
    ::SendMessageW(m_page->window, WM_APP, 0, 0);
    gate.EndSend();
    return true;
}
