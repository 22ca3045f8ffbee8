#pragma once
// The General page's three time texts, in the user's long-date and time
// formats.

#include <windows.h>

#include "support/cstring.h"

struct ItemTimes {
    CString created;
    CString modified;
    // The date alone when the local time is exactly midnight, which is how
    // file systems that keep only the access day record it.
    CString accessed;
};

// All three empty when the item cannot be opened for reading (missing, held
// by a writer that shares no reading, no access) or its times cannot be read.
// E_OUTOFMEMORY when a text cannot be made.
HRESULT ReadItemTimes(const wchar_t* path, ItemTimes& times) noexcept;
