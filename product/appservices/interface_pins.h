#pragma once
// The local server exports each interface it serves once more, table-strong,
// and keeps that export for as long as it runs.
//
// The RPC runtime registers an interface when the first object exposing it
// is exported and unregisters it, waiting for calls still in flight on it,
// when the last such export goes away. Wine 8 can miss the wake-up of that
// wait: the worker that has just sent a call's reply drops the interface's
// call count afterwards, without a lock, and if it does so while the
// unregistering thread is between reading the count and publishing its
// event, the unregistering thread waits for ever. The unregistering thread is
// the server's apartment thread, releasing the stub for the client's final
// Release; the client then waits for ever in that Release. Every lookup
// without the shared map makes and releases one object, so every lookup
// passed through that window. With one export of each interface pinned, the
// registration never falls to zero while the server runs, and no wait is
// ever set up.
//
// The pins are never given back: the server ends without leaving its
// apartment (exe_main.cpp), so nothing tears them down.

#include <windows.h>
#include <unknwn.h>

namespace zrvappsvc {

// Pins IClassFactory (for the given class object) and the three interfaces
// of AppServices (on an object that does not keep the server running).
// Failure leaves the server working, without the pins.
HRESULT PinInterfaceRegistrations(IClassFactory* factory) noexcept;

}  // namespace zrvappsvc
