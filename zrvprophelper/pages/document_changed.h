#pragma once

#include <windows.h>

// Tells the product's listeners (among them the category lists) and the shell
// that the metadata of the document at `path` changed. The shell hears of it
// even when the product's notifier cannot be created. The path comes made,
// so that a page that saved can always announce it.
void AnnounceDocumentChanged(BSTR path) noexcept;
