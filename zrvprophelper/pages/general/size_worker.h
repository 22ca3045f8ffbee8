#pragma once
// The General page's size worker: adds up the bytes of the page's item on a
// thread of its own, folders through their whole tree, and after every entry
// it visits shows the running figure in the page by a synchronous WM_APP.
//
// Lifetime: the thread holds a reference on the page object and on this
// module until it ends, so neither can go while it runs. It reaches the page
// window only through the page's SizeUpdateGate; when the page closes it
// shuts the gate, and from then on the worker sends nothing and stops at the
// next entry.

#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "../../support/cstring.h"
#include "../../support/handles.h"

class CZRVLocalizer;
class CZRVPropPage_Summary;

// Lets the worker send updates only while the page is open, and lets the
// page shut it without deadlocking on a send that is under way: the sender
// is blocked until the page's own thread handles the message.
class SizeUpdateGate {
  public:
    // Worker: true when an update may be sent now; then EndSend must follow
    // once the send has returned.
    bool BeginSend() noexcept;
    void EndSend() noexcept;
    bool IsClosed() const noexcept;

    // Page thread: shuts the gate. Returns once no send is under way,
    // handling sent messages meanwhile, or when the deadline (a
    // GetTickCount value) has passed.
    void Close(DWORD deadline) noexcept;

  private:
    static constexpr unsigned kSending = 0x1;
    static constexpr unsigned kClosed = 0x2;
    std::atomic<unsigned> m_state{0};
};

// Starts the worker for page: suspended, given its references, then resumed.
// Null when no thread could be started; the size then stays empty.
HANDLE StartSizeWorker(CZRVPropPage_Summary* page) noexcept;

// Shuts the page's gate and waits for the worker to end, for at most
// timeoutMs, still handling messages sent to this thread. A worker that does
// not end in time runs on harmlessly on its own references. Closes thread.
void StopSizeWorker(SizeUpdateGate& gate, zrv::unique_handle& thread, DWORD timeoutMs) noexcept;

// Thread entry for _beginthreadex; page carries the reference that
// StartSizeWorker took for the thread.
unsigned __stdcall SizeWorkerProc(void* page);

// Number of size workers that have been started and not yet ended, in this
// process.
LONG LiveSizeWorkers() noexcept;

// One walk of the worker.
class SizeWalk {
  public:
    // localizer may be null: the module's own texts are shown then.
    SizeWalk(CZRVPropPage_Summary* page, CZRVLocalizer* localizer) noexcept;

    // Bytes of what path names: the item itself (listFolder false) or the
    // entries of the folder (listFolder true). One update per entry seen.
    // Every folder is entered whatever its other attribute bits, except
    // reparse points (junctions, symbolic links, mount points), which add
    // nothing. A folder's own record adds no bytes. A subfolder that is gone
    // or closed to us adds nothing; one that cannot be listed for another
    // reason ends the walk as failed (ReportUnknown).
    ULONGLONG TotalSize(const CString& path, bool listFolder);

    // The walk failed before its end: the Size field is emptied, as for an
    // item that cannot be sized, and the walk sends nothing more.
    void ReportUnknown() noexcept;

    // The page closed: the walk ends without further updates.
    bool Stopped() const noexcept { return m_stopped; }

  private:
    // One folder listing under way: its search, its own running total, and
    // the length of its path in the walk's path buffer.
    struct FolderListing {
        zrv::unique_hfind search;
        ULONGLONG total;
        size_t pathLength;
        bool listFolder;
    };

    // Starts the listing of path (its entries when listFolder, else the item
    // itself) with its first entry in entry; ERROR_SUCCESS, or why nothing
    // was found. path comes back unchanged.
    static DWORD OpenListing(std::wstring& path, bool listFolder, WIN32_FIND_DATAW& entry,
                             std::vector<FolderListing>& listings);
    // Shows total in the page; false once the gate is shut.
    bool Report(ULONGLONG total);
    // Hands text to the page; false once the gate is shut.
    bool Show(const CString& text) noexcept;

    CZRVPropPage_Summary* m_page;
    CZRVLocalizer* m_localizer;
    bool m_stopped = false;
};
