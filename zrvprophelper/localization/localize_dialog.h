#pragma once
// Puts a page's caption and its direct child controls into the product's
// language, and gives those controls the default user-interface font.

#include <windows.h>

#include "components/component_ids.h"
#include "support/cstring.h"

struct ChildLocalizeContext {
    IAppLocalizer* localizer;  // borrowed from the lookup's CZRVLocalizer
    int dialogId;
    CString moduleStem;
    HWND page;
};

// A text whose request cannot be made (out of memory) keeps the template's.
void LocalizeDialog(HWND page, int dialogId) noexcept;

// One step of the enumeration of the page's descendants: true goes on.
BOOL CALLBACK LocalizeChildControl(HWND child, LPARAM context);
