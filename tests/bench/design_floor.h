#pragma once
// The design floor of the properties dialog: a sheet of the three pages that
// makes only the platform and product calls the pages must make to show what
// they show, in the number and order the pages make them, with none of the
// module's code (its DLL is loaded as a datafile, for its templates and
// strings). That includes what the pages' design asks of them beyond their
// fields: their dialogs built with version 6 common controls under the
// context of the module's manifest, and every text asked of the thread's
// server through the localizer map, the server made and registered by the
// thread's first lookup.

#include <windows.h>

#include <cstddef>
#include <string>

namespace zrvbench {

// Builds the modeless sheet for document as the browser would, with the
// selection intake and the page titles of each of the three handlers, and
// answers it with its first page initialised. Null on failure. pagesAdded,
// when given, receives the number of pages the sheet was given.
HWND OpenDesignFloorSheet(const std::wstring& document, HMODULE templates,
                          size_t* pagesAdded = nullptr);

}  // namespace zrvbench
