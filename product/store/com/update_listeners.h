#pragma once
// The process-wide list of objects that want to hear when a document's
// metadata changed. Every DocumentProperties object reaches the same list.
//
// Listeners are called on the thread that calls UpdateDocument, without
// marshalling: the product's listeners and callers share its user-interface
// thread. Each advised listener holds a reference and a module lock until it
// is unadvised.

#include <windows.h>

#include "components/component_ids.h"

namespace zrvstore::server {

// Process attach and detach.
void InitializeUpdateListeners() noexcept;
void ShutDownUpdateListeners() noexcept;

HRESULT AdviseUpdateListener(IDocumentUpdateListener* listener, DWORD* cookie) noexcept;
// CONNECT_E_NOCONNECTION for a cookie that names no listener.
HRESULT UnadviseUpdateListener(DWORD cookie) noexcept;
// Calls DocumentUpdated(path) on each listener advised when the call began,
// outside the list's lock, so that a listener may advise or unadvise.
void NotifyUpdateListeners(BSTR path) noexcept;

}  // namespace zrvstore::server
