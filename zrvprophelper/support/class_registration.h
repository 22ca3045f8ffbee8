#pragma once
// The keys of an in-process class, for the stand-in servers that do not
// register through a registry script. These use the standard containers and
// are not for the module (see nothrow_vector.h).

#include <windows.h>

#include <string>

#include "support/handles.h"
#include "support/registry_keys.h"

namespace zrv {

// The full path of the image `instance` was loaded from.
HRESULT ModuleFileName(HINSTANCE instance, std::wstring& path) noexcept;

// "CLSID\{...}", below HKEY_CLASSES_ROOT.
std::wstring ClassKeyPath(const CLSID& clsid);

// HKCR\CLSID\{clsid} = name, with InprocServer32 = modulePath and
// ThreadingModel = Apartment.
HRESULT RegisterInprocClass(const CLSID& clsid, const wchar_t* name,
                            const std::wstring& modulePath) noexcept;

// Removes HKCR\CLSID\{clsid} and all below it; a key already gone is not a
// failure.
HRESULT DeleteClassKey(const CLSID& clsid) noexcept;

}  // namespace zrv
