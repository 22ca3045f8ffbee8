#pragma once
// The General page: icon, name, type, location, size, times and the
// Read-only and Hidden attributes of the one selected item. The size comes
// from a worker thread (size_worker.h) that reports to this page's window.

#include "pages/general/size_display.h"
#include "pages/general/size_worker.h"
#include "pages/prop_page.h"
#include "support/com_ptr.h"
#include "support/cstring.h"
#include "support/handles.h"

class CZRVPropPage_Summary final : public CZRVPropPage {
  public:
    CZRVPropPage_Summary() noexcept;

    // The General page describes exactly one item: E_FAIL for any other
    // count, so that the host shows no General page.
    HRESULT Initialize(PCIDLIST_ABSOLUTE folder, IDataObject* data,
                       HKEY fileType) noexcept override;
    BOOL OnInitDialog() noexcept override;
    // Stops the size worker before anything it uses goes away.
    BOOL OnDestroy() noexcept override;
    // Writes the two attribute bits back; always TRUE. A change of the
    // user's that could not be made is reported, and the apply refused.
    LRESULT OnApply() noexcept override;
    // WM_APP hands the worker's latest figure to the Size field, which shows
    // it at the display's rate (size_display.h); always TRUE.
    LRESULT OnUserMessage(UINT message, WPARAM wParam, LPARAM lParam) noexcept override;
    // The Size field's frame ended (size_display.h).
    void OnTimer(UINT_PTR id) noexcept override;
    LRESULT OnCommand(WPARAM wParam, WORD notification) noexcept override;
    void OnHelp() noexcept override;

  private:
    ~CZRVPropPage_Summary() override = default;

    void ShowNameAndLocation(const CString& path, const wchar_t* typeName);
    void ShowTimes(const CString& path);
    void ShowAttributes(const CString& path);

    // Shared with the size worker, which holds its own reference.
    zrv::com_ptr<SizeJob> m_sizeJob;
    zrv::unique_handle WorkerThread;
    zrv::unique_hicon FileIcon;
    // GetFileAttributesW succeeded when the page opened, so the boxes show
    // the item's own bits.
    bool m_attributesShown = false;
    // The Read-only and Hidden bits the boxes showed then (none when the
    // bits could not be read), or last wrote.
    DWORD m_shownAttributes = 0;
    // The page is filling its own controls: their notifications are not
    // user changes.
    bool m_filling = false;
    SizeDisplay m_sizeDisplay;
};
