#pragma once
// Hearing from the document store when a document's metadata changes, so
// that a list showing that document can catch up with an arrow press on the
// page.
//
// The store keeps a reference on the listener it is given. That listener is
// a separate small object pointing back at its sink without a reference: a
// reference would keep the control alive for as long as the store lives.
// The sink's owner ends the subscription (or destroys it) before the sink
// goes, which clears the back pointer whether or not the store lets go.

#include <windows.h>

#include "components/component_ids.h"
#include "support/com_ptr.h"

namespace zrvcatlist {

class DocumentUpdateSink {
  public:
    // path as the store announced it; may be null.
    virtual void OnDocumentUpdated(const wchar_t* path) noexcept = 0;

  protected:
    ~DocumentUpdateSink() = default;
};

class CUpdateListener;

class StoreUpdateSubscription {
  public:
    StoreUpdateSubscription() noexcept;
    StoreUpdateSubscription(const StoreUpdateSubscription&) = delete;
    StoreUpdateSubscription& operator=(const StoreUpdateSubscription&) = delete;
    ~StoreUpdateSubscription();

    bool IsActive() const noexcept { return static_cast<bool>(m_source); }

    // Does nothing when already subscribed. Fails when the store is not
    // there; the caller then simply hears nothing.
    HRESULT Start(DocumentUpdateSink* sink) noexcept;
    void Stop() noexcept;

  private:
    zrv::com_ptr<IDocumentUpdateSource> m_source;
    DWORD m_cookie = 0;
    zrv::com_ptr<CUpdateListener> m_listener;
};

}  // namespace zrvcatlist
