#pragma once
// Help display. The product ships its help files beside its binaries; when
// the requested file is not there (as in development and test setups), the
// request is recorded instead, one line per request:
//
//   <help file>|<topic>|<owner window as 0x%08lX>
//
// in the file named by ZRV_HELP_LOG, else by the HelpLog setting, else
// %TEMP%\ZRVHelp.requests.log (UTF-8, CRLF line ends, appended).

#include <windows.h>

#include <string>

namespace zrvappsvc {

// S_OK when the help viewer was started or the request recorded.
// E_INVALIDARG when the help file is not a plain file name, or either text
// holds a character that could not be passed on or recorded safely (a
// control character, '"' or '|').
HRESULT ShowHelpRequest(const wchar_t* helpFile, const wchar_t* topic, HWND owner);

std::wstring HelpLogPath();

}  // namespace zrvappsvc
