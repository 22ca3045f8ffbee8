#pragma once

#include <windows.h>

// Opens the product's help on `topic` of the module's help file, owned by the
// page's window. Nothing happens when the product's help cannot be reached.
void ShowPageHelp(HWND owner, const wchar_t* topic);
