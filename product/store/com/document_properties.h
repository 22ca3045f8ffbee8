#pragma once
// DocumentProperties: announces that a document's metadata changed. Its
// IDocumentUpdateSource side lets objects of this process listen.

#include <windows.h>

#include <memory>
#include <string>

#include "components/component_ids.h"
#include "store/com/server_module.h"
#include "store/core/store_journal.h"
#include "support/com_object.h"

namespace zrvstore::server {

class DocumentProperties final
    : public zrv::ComObject<DocumentProperties, ModuleLock,
                            zrv::DispatchWithoutTypeInfo<IDocumentProperties>,
                            IDocumentUpdateSource> {
  public:
    static HRESULT Create(REFIID iid, void** object);

    // IDocumentProperties
    STDMETHODIMP Reserved7() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved8() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved9() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved10() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved11() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved12() override { return E_NOTIMPL; }
    // Tells every listener of this process, with the path as given.
    STDMETHODIMP UpdateDocument(BSTR path) override;

    // IDocumentUpdateSource
    STDMETHODIMP Advise(IDocumentUpdateListener* listener, DWORD* cookie) override;
    STDMETHODIMP Unadvise(DWORD cookie) override;

  private:
    friend ComObject;
    DocumentProperties() = default;
    ~DocumentProperties() = default;

    auto InterfaceTable() noexcept {
        return zrv::QiTable({
            {&IID_IDocumentProperties, static_cast<IDocumentProperties*>(this)},
            {&IID_IDispatch, static_cast<IDocumentProperties*>(this)},
            {&IID_IDocumentUpdateSource, static_cast<IDocumentUpdateSource*>(this)},
        });
    }

    // Null when no store file can be named; announcements still go out.
    std::unique_ptr<StoreJournal> m_journal;
};

}  // namespace zrvstore::server
