#pragma once
// The selection intake: turns the host's data object into the file selection
// that every handler's pages are built for. The page base's Initialize calls
// it, and the selection it fills belongs to the page.

#include <objidl.h>

#include "pages/file_selection.h"

// Reads the host's CF_HDROP list into the selection: directories dropped,
// shortcuts replaced by their stored targets, unreadable names and names or
// targets too long for a path buffer skipped, up to the first 100 entries.
// S_OK when anything was taken, E_FAIL when nothing was, E_INVALIDARG when
// the data object offers no usable list, E_OUTOFMEMORY when a path could not
// be kept.
HRESULT ReadSelection(IDataObject* data, FileSelection& selection) noexcept;
