#pragma once
// The General page's size worker: adds up the bytes of the page's item on a
// thread of its own, folders through their whole tree, and after every entry
// it visits shows the running figure in the page by a synchronous WM_APP.
//
// Lifetime: the thread holds a reference on its SizeJob and on this module
// until it ends, so neither can go while it runs; it never sees the page
// object. It reaches the page window only through the job's gate; when the
// page closes it shuts the gate, and from then on the worker sends nothing
// and stops at the next entry. A page whose thread was killed never shuts
// it: the first update that cannot reach the page ends the walk.

#include <windows.h>

#include "pages/general/size_job.h"
#include "support/cstring.h"
#include "support/handles.h"
#include "support/nothrow_vector.h"

class CZRVLocalizer;

// Starts the worker on job: suspended, given its own references on job and
// on this module, then resumed. No handle when no thread could be started;
// the size then stays empty.
zrv::unique_handle StartSizeWorker(SizeJob* job) noexcept;

// Shuts the job's gate and waits for the worker to end, for at most
// timeoutMs, still handling messages sent to this thread. A worker that does
// not end in time runs on harmlessly on its own references. Closes thread.
void StopSizeWorker(SizeJob& job, zrv::unique_handle& thread, DWORD timeoutMs) noexcept;

// Number of size workers that have been started and not yet ended, in this
// process.
LONG LiveSizeWorkers() noexcept;

// One walk of the worker.
class SizeWalk {
  public:
    // localizer may be null: the module's own texts are shown then.
    SizeWalk(SizeJob& job, CZRVLocalizer* localizer) noexcept;

    // Bytes of what path names: the item itself (listFolder false) or the
    // entries of the folder (listFolder true). One update per entry seen.
    // Every folder is entered whatever its other attribute bits, except
    // reparse points (junctions, symbolic links, mount points), which add
    // nothing. A folder's own record adds no bytes. A subfolder that is gone
    // or closed to us adds nothing; one that cannot be listed for another
    // reason ends the walk as failed (ReportUnknown), as does a listing that
    // fails before its last entry, and running out of memory; the result is
    // 0 then.
    ULONGLONG TotalSize(const CString& path, bool listFolder) noexcept;

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
    // ERROR_NOT_ENOUGH_MEMORY when the listing cannot be kept.
    static DWORD OpenListing(CString& path, bool listFolder, WIN32_FIND_DATAW& entry,
                             zrv::nothrow_vector<FolderListing>& listings) noexcept;
    // Shows total in the page, last when it is the walk's total; false once
    // the gate is shut or the page's thread is gone, or when the walk failed
    // for want of memory for the figure.
    bool Report(ULONGLONG total, bool last) noexcept;
    // The walk failed: ReportUnknown, and 0 for its total.
    ULONGLONG Unknown() noexcept;
    // Hands text to the page; false once the gate is shut or the page's
    // thread is gone.
    bool Show(const CString& text, bool last) noexcept;

    SizeJob& m_job;
    CZRVLocalizer* m_localizer;
    bool m_stopped = false;
    bool m_unknown = false;  // the walk failed and the field was emptied
};
