#pragma once
// Reads the registry back for tests, with the plain registry API.

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace zrvtest {

bool KeyExists(HKEY root, const std::wstring& path);
// The string value (empty name: the default value), or nothing.
std::optional<std::wstring> ReadString(HKEY root, const std::wstring& path,
                                       const std::wstring& name = L"");
std::vector<std::wstring> SubkeyNames(HKEY root, const std::wstring& path);
std::vector<std::wstring> ValueNames(HKEY root, const std::wstring& path);

}  // namespace zrvtest
