#pragma once
// The selection intake of the page base's Initialize: the page reads and owns
// its selection, the handler only hands the host's data object on, so the
// reader lives with the pages.

#include <objidl.h>

#include "file_selection.h"

// Reads the host's CF_HDROP list into the selection: directories dropped,
// shortcuts replaced by their stored targets, unreadable names and names or
// targets too long for a path buffer skipped, up to the first 100 entries.
// S_OK when anything was taken, E_FAIL when nothing was, E_INVALIDARG when
// the data object offers no usable list.
HRESULT ReadSelection(IDataObject* data, FileSelection& selection);
