#pragma once
// The texts of a list box, read as a user sees them.

#include <windows.h>

#include <string>
#include <vector>

namespace zrvtest {

// Every item's text, in list order; empty when the window is no list box.
std::vector<std::wstring> ListItems(HWND listBox);

}  // namespace zrvtest
