#pragma once

#include "support/cstring.h"

// Tells the product's listeners (among them the category lists) and the shell
// that the metadata of the document at `path` changed. The shell hears of it
// even when the product's notifier cannot be created.
void AnnounceDocumentChanged(const CString& path);
