#pragma once
// Where the server's behaviour is configured: environment variables first
// (a test or a developer can set them for one process), then the user's
// product settings under HKCU\Software\Lumatrel\Office.

#include <optional>
#include <string>

namespace zrvappsvc {

// The full path of the image this code is linked into (the DLL or the local
// server), and its folder with a trailing backslash. Catalogs and the help
// file are looked for beside it.
std::wstring ImagePath();
std::wstring ImageFolder();

// The variable's text; nothing when it is unset or empty.
std::optional<std::wstring> EnvironmentText(const wchar_t* name);

// A REG_SZ value under HKCU\Software\Lumatrel\Office; nothing when absent or
// of another type.
std::optional<std::wstring> OfficeSetting(const wchar_t* valueName);

// The user-interface language: ZRV_LANGUAGE, else the Language setting.
// Nothing means English, which needs no catalog. A value that is not a plain
// language tag (letters, digits, '-' and '_', at most 16 characters) also
// counts as English: it becomes part of a file name and must not reach
// outside the catalog folder.
std::optional<std::wstring> SelectedLanguage();

// How long the local server stays after its last object went away:
// ZRV_APPSERVICES_IDLE_MS, else the LocalServerIdleMs setting, in decimal
// milliseconds from 10 to 600000. Nothing (unset or out of range) means the
// server's own default.
std::optional<unsigned> LocalServerIdleMs();

// How long the local server's objects may go unused before it takes their
// clients for gone (see exe_main.cpp): ZRV_APPSERVICES_UNUSED_MS, else the
// LocalServerUnusedMs setting, decimal milliseconds from 100 to 3600000.
std::optional<unsigned> LocalServerUnusedMs();

}  // namespace zrvappsvc
