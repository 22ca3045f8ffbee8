#pragma once
// Writing and removing registry keys: the keys of an in-process class, for
// the servers that do not register through a registry script, and the steps
// the registry-script interpreter takes.

#include <windows.h>

#include <string>

#include "support/handles.h"

namespace zrv {

// The full path of the image `instance` was loaded from.
HRESULT ModuleFileName(HINSTANCE instance, std::wstring& path) noexcept;

// "CLSID\{...}", below HKEY_CLASSES_ROOT.
std::wstring ClassKeyPath(const CLSID& clsid);

HRESULT CreateRegistryKey(HKEY parent, const std::wstring& path, unique_hkey& key) noexcept;
HRESULT SetRegistryString(HKEY key, const wchar_t* name, const std::wstring& value) noexcept;
// Removes parent\path and all below it; a key already gone is not a failure.
HRESULT DeleteRegistryTree(HKEY parent, const std::wstring& path) noexcept;

// HKCR\CLSID\{clsid} = name, with InprocServer32 = modulePath and
// ThreadingModel = Apartment.
HRESULT RegisterInprocClass(const CLSID& clsid, const wchar_t* name,
                            const std::wstring& modulePath) noexcept;

// Removes HKCR\CLSID\{clsid} and all below it; a key already gone is not a
// failure.
HRESULT DeleteClassKey(const CLSID& clsid) noexcept;

}  // namespace zrv
