#pragma once
// The property-sheet handler: a thin COM shell around one page object. The
// host creates it, calls Initialize with the selection and AddPages, and
// releases it, usually long before the sheet closes; the page lives on.

#include <windows.h>
#include <shlobj.h>

#include "module/module.h"
#include "pages/prop_page.h"

class CZRVPropSheetHandler : public IShellExtInit, public IShellPropSheetExt {
  public:
    CZRVPropSheetHandler(const CZRVPropSheetHandler&) = delete;
    CZRVPropSheetHandler& operator=(const CZRVPropSheetHandler&) = delete;

    // IUnknown: handed on to the outer object when aggregated.
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IShellExtInit
    STDMETHODIMP Initialize(PCIDLIST_ABSOLUTE folder, IDataObject* data, HKEY fileType) override;

    // IShellPropSheetExt
    STDMETHODIMP AddPages(LPFNSVADDPROPSHEETPAGE addPage, LPARAM param) override;
    STDMETHODIMP ReplacePage(EXPPS pageId, LPFNSVADDPROPSHEETPAGE replacePage,
                             LPARAM param) override;

    // The object's own IUnknown behaviour, whether aggregated or not.
    HRESULT InternalQueryInterface(REFIID iid, void** object) noexcept;
    ULONG InternalAddRef() noexcept;
    ULONG InternalRelease() noexcept;

    void SetOuter(IUnknown* outer) noexcept { m_outer = outer; }
    CZRVPropPage* pageObject() const noexcept { return m_page.get(); }

  protected:
    CZRVPropSheetHandler() noexcept = default;
    virtual ~CZRVPropSheetHandler() = default;

    // Makes a new page object of the handler's kind, holding one reference.
    virtual CZRVPropPage* NewPage() = 0;

  private:
    ModuleLockHolder m_moduleLock;  // held from creation to destruction
    ULONG m_refs = 0;               // apartment-threaded: only the creating thread calls
    IUnknown* m_outer = nullptr;    // not owned
    PageRef m_page;
};

// Creates a handler of class H through the class object: plain, or inside an
// aggregating wrapper whose own IUnknown is handed out.
template <typename H>
HRESULT CreateHandler(IUnknown* outer, REFIID iid, void** object) noexcept;

#include "handlers/prop_sheet_handler_create.h"
