#pragma once
// Base of the three property pages: the page description and handle, the
// selection, and the one dialog procedure that turns window messages into the
// virtual operations below. Page classes never see raw messages.
//
// Lifetime: a page object is shared by up to three owners, each holding one
// reference: the handler that created it (until the handler goes or makes a
// new page), the sheet page handle (from creation until the sheet or host
// destroys the handle, announced by PSPCB_RELEASE), and the dialog (from
// WM_INITDIALOG to WM_DESTROY). WM_DESTROY runs OnDestroy and frees the
// selection at once; the object itself goes with the last reference, so a
// page that never gets a dialog is freed too, and none is freed twice. A page
// handle that no sheet accepted is destroyed when the handler lets go.
//
// Pages hold no server lock, so a host may free the module while a sheet is
// open: making the first page pins the module until the process ends, and a
// page is not created when that cannot be done.

#include <windows.h>
#include <prsht.h>
#include <shlobj.h>

#include "pages/file_selection.h"
#include "support/bstr.h"

class CZRVPropPage {
  public:
    explicit CZRVPropPage(UINT pageId) noexcept;
    CZRVPropPage(const CZRVPropPage&) = delete;
    CZRVPropPage& operator=(const CZRVPropPage&) = delete;

    void AddRef() noexcept;
    void Release() noexcept;
    // The handler lets go of the page. A page handle that no sheet accepted
    // is destroyed here, since nobody else ever could.
    void ReleaseFromHandler() noexcept;

    // Slot 0: reads the host's CF_HDROP selection. S_OK when at least one
    // usable path was found, E_FAIL when none, E_INVALIDARG without data.
    virtual HRESULT Initialize(PCIDLIST_ABSOLUTE folder, IDataObject* data, HKEY fileType) noexcept;
    // Slot 1: offers the page handle. S_OK when the host took it; E_FAIL
    // when it refused it or there is no handle.
    virtual HRESULT AddPages(LPFNSVADDPROPSHEETPAGE addPage, LPARAM param) noexcept;
    // Slot 2: replacing pages is not supported: E_NOTIMPL.
    virtual HRESULT ReplacePage(EXPPS pageId, LPFNSVADDPROPSHEETPAGE replacePage,
                                LPARAM param) noexcept;
    // Slot 3: WM_INITDIALOG. Nonzero lets the dialog set the default focus.
    virtual BOOL OnInitDialog() noexcept;
    // Slot 4: WM_DESTROY. Release everything the page holds; the result is
    // ignored. The page must not be used after it returns.
    virtual BOOL OnDestroy() noexcept;
    // Slot 5: PSN_APPLY. The result becomes the message's result; the sheet
    // reads the apply outcome from DWLP_MSGRESULT, which is PSNRET_NOERROR
    // unless the page refused the apply meanwhile (RefuseApplyIfChangeLost).
    virtual LRESULT OnApply() noexcept;
    // Slot 6: WM_APP to WM_APP + 2. The result becomes the message's result.
    virtual LRESULT OnUserMessage(UINT message, WPARAM wParam, LPARAM lParam) noexcept;
    // Slot 7: every WM_NOTIFY but PSN_APPLY. The result becomes the message's.
    virtual LRESULT OnNotify(NMHDR* header) noexcept;
    // Slot 8: WM_COMMAND with the whole wParam and its high word.
    virtual LRESULT OnCommand(WPARAM wParam, WORD notification) noexcept;
    // Slot 9: WM_HELP.
    virtual void OnHelp() noexcept;
    // Slot 10: WM_SHOWWINDOW when the page is being shown.
    virtual void OnShow() noexcept;
    // Slot 11: WM_TIMER of a timer on the page's window, by its id. A timer
    // that a page sets this way (no timer procedure) carries nothing of the
    // page: its message dispatched after the window is gone reaches no page.
    virtual void OnTimer(UINT_PTR id) noexcept;

    static INT_PTR CALLBACK PageDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static UINT CALLBACK PageCallback(HWND window, UINT message, PROPSHEETPAGEW* page);

    // Number of page objects alive in this process; for tests and leak checks.
    static LONG LiveObjectCount() noexcept;

  protected:
    virtual ~CZRVPropPage();

    // Tells the sheet that the page has (true) or no longer has (false)
    // changes to apply. Nonzero when the sheet accepted the message.
    LRESULT SetModified(bool changed) noexcept;
    // From OnApply: the page could not keep what it shows (the store refused
    // a write or a save, or could not be asked). When that loses a change the
    // user made or a choice the user took (changeLost), the user is told
    // (messageId, as for ShowNotSavedMessage) and the apply refused: the
    // sheet then stays open with the user's changes on the page shown
    // (PSNRET_INVALID_NOCHANGEPAGE), pages after this one are not applied,
    // and Cancel closes the sheet as usual. Otherwise nothing of the user's is
    // at stake, and the apply passes quietly. OnApply's result: 1 when
    // refused, else 0.
    LRESULT RefuseApplyIfChangeLost(bool changeLost, UINT messageId) noexcept;

    // The path that page operations work on: the first selected one; null
    // when the host showed the page without a selection.
    const CString* SelectedPath() const noexcept;
    // The first selected path as a fresh BSTR, made for one call to the
    // product's components; false when there is none or it cannot be made
    // (out of memory), for a page that then leaves that document alone.
    bool MakeSelectedPathBstr(CComBSTR& path) const noexcept;

  public:
    FileSelection selection;
    HWND window = nullptr;
    HPROPSHEETPAGE pageHandle = nullptr;
    PROPSHEETPAGEW pageInfo;
    wchar_t titleBuffer[260];

  private:
    void CreatePageHandle() noexcept;
    void ReleaseDialogState() noexcept;
    static LRESULT DispatchApply(CZRVPropPage* page, HWND window);

    volatile LONG m_refs = 1;       // the creator's reference
    bool m_handleAccepted = false;  // a sheet took pageHandle
    bool m_applyRefused = false;    // set by RefuseApplyIfChangeLost during one PSN_APPLY
};

// Keeps a page object alive while a handler holds it.
class PageRef {
  public:
    PageRef() noexcept = default;
    explicit PageRef(CZRVPropPage* page) noexcept : m_page(page) {}  // adopts a reference
    PageRef(const PageRef&) = delete;
    PageRef& operator=(const PageRef&) = delete;
    ~PageRef() { reset(); }
    void reset(CZRVPropPage* page = nullptr) noexcept {
        CZRVPropPage* old = m_page;
        m_page = page;
        if (old) old->ReleaseFromHandler();
    }
    CZRVPropPage* get() const noexcept { return m_page; }
    CZRVPropPage* operator->() const noexcept { return m_page; }
    explicit operator bool() const noexcept { return m_page != nullptr; }

  private:
    CZRVPropPage* m_page = nullptr;
};
