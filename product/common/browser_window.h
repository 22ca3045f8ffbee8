#pragma once
// The document browser's own window, as a file browser shows it before its
// first properties dialog and keeps for the whole session: a location field
// with the document's path, a status line, a file list, a view choice and a
// Properties button, in the standard user-interface font.
//
// Under Wine this is more than decoration for a host that opens dialogs on
// several threads at once: it makes the standard control classes exist, and
// keeps the text layout of that font cached, before any dialog thread needs
// them (WINE-NOTES.md, "Property sheets on several threads at once").

#include <windows.h>

#include <string>

namespace zrvproduct {

// A visible, unowned top-level window on the calling thread, whose messages
// that thread must pump; null when it cannot be made. The caller destroys it.
HWND CreateBrowserWindow(const std::wstring& location);

}  // namespace zrvproduct
