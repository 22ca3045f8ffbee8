#pragma once
// Registration of AppServices. The DLL and the local server share the class
// key HKCR\CLSID\{D6113ADC-...}: each writes and removes only its own server
// subkey (InprocServer32 or LocalServer32) and the class name, so that
// registering or unregistering one never disturbs the other.

#include <windows.h>

#include <string>

namespace zrvappsvc {

enum class ServerKind { InProcess, LocalServer };

// InprocServer32 = the image path, ThreadingModel = Apartment; or
// LocalServer32 = the quoted image path.
HRESULT RegisterAppServices(ServerKind kind, const std::wstring& imagePath);

// Removes this kind's subkey, and the class key once no subkey is left.
// Repeatable: what is already gone is not a failure.
HRESULT UnregisterAppServices(ServerKind kind);

// The type library in resource TYPELIB 1 of the image (the localizer's, so
// that the system can marshal IAppLocalizer to and from the local server).
HRESULT RegisterEmbeddedTypeLib(const std::wstring& imagePath);
HRESULT UnregisterEmbeddedTypeLib(const std::wstring& imagePath);

}  // namespace zrvappsvc
