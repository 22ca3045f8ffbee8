#pragma once

#include <windows.h>

// Tells the user, in a message box on the sheet that holds `page`, that the
// page could not save what it shows: `messageId` is the module's string that
// says what was not saved, localized like every other text. The box is
// titled as the sheet is, which names the document. Returns once the user
// has closed it. Pages reach it through CZRVPropPage::RefuseApplyIfChangeLost,
// which refuses the apply as well.
void ShowNotSavedMessage(HWND page, UINT messageId) noexcept;
