#pragma once
// DocumentCatalog: reads and writes the properties of one document at a time.
//
// OpenDocument selects the document; the Get calls answer with this object's
// unsaved changes first and the store's current contents otherwise; the Set
// calls collect changes that SaveDocument merges into the store. Opening
// another document drops unsaved changes. Objects live in one apartment and
// are not locked against concurrent calls.

#include <windows.h>

#include <string>

#include "components/component_ids.h"
#include "store/com/server_module.h"
#include "store/core/document_record.h"
#include "store/core/document_store.h"
#include "store/core/store_journal.h"
#include "support/com_object.h"

namespace zrvstore::server {

// IDocumentCatalog is called through its vtable only.
class DocumentCatalog final
    : public zrv::ComObject<DocumentCatalog, ModuleLock,
                            zrv::DispatchWithoutTypeInfo<IDocumentCatalog>> {
  public:
    static HRESULT Create(REFIID iid, void** object);

    // IDocumentCatalog
    STDMETHODIMP Reserved7() override { return E_NOTIMPL; }
    // Commits the unsaved changes of the open document, which `path` must
    // name. E_ACCESSDENIED when the document is marked read-only.
    STDMETHODIMP SaveDocument(BSTR path) override;
    STDMETHODIMP Reserved9() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved10() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved11() override { return E_NOTIMPL; }
    // S_OK with a null text for a property never set.
    STDMETHODIMP GetStringProperty(int id, BSTR* text) override;
    // Takes the text up to its first NUL, whatever the BSTR's length.
    STDMETHODIMP SetStringProperty(int id, BSTR* text) override;
    // Unset values read as VT_FILETIME 0 (17) and VT_UI4 0 (18, 19).
    STDMETHODIMP GetProperty(int id, PROPVARIANT* value) override;
    // 17 takes VT_FILETIME; 18 and 19 take VT_UI4, VT_UINT, or a
    // non-negative VT_I4 or VT_INT. Anything else: DISP_E_TYPEMISMATCH.
    STDMETHODIMP SetProperty(int id, PROPVARIANT* value) override;
    STDMETHODIMP OpenDocument(BSTR path) override;
    STDMETHODIMP Reserved17() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved18() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved19() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved20() override { return E_NOTIMPL; }
    // 1 unless the document is marked read-only or the question cannot be
    // answered (bad path, unknown property, unreadable store): then 0.
    STDMETHODIMP_(long) CanEditProperty(BSTR path, int id) override;

  private:
    friend ComObject;
    explicit DocumentCatalog(const std::wstring& storeFile);
    ~DocumentCatalog() = default;

    auto InterfaceTable() noexcept {
        return zrv::QiTable({
            {&IID_IDocumentCatalog, static_cast<IDocumentCatalog*>(this)},
            {&IID_IDispatch, static_cast<IDocumentCatalog*>(this)},
        });
    }

    HRESULT ReadStored(DocumentRecord& document) const;
    HRESULT SetText(int id, const BSTR* text);
    HRESULT SetValue(int id, const PROPVARIANT* value);
    HRESULT Save(const std::wstring& path);

    DocumentStore m_store;
    StoreJournal m_journal;

    bool m_open = false;
    // What Get and Set answer while no document is open: E_UNEXPECTED before
    // the first OpenDocument, that call's failure after it.
    HRESULT m_notOpenResult = E_UNEXPECTED;
    std::wstring m_path;
    DocumentChanges m_unsaved;
};

}  // namespace zrvstore::server
