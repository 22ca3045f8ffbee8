#pragma once
// The text of the Size field for a byte total: whole kilobytes (the
// remainder dropped) from 1024 bytes on, bytes below, without digit grouping.

#include <windows.h>

#include "support/cstring.h"

class CZRVLocalizer;

// Each call loads the string-table text anew and asks localizer (when not
// null) for its translation. A translation that is not a single 64-bit
// integer conversion is not used: it would read an argument that is not
// there. A failure (no memory for the text) leaves text as it was.
HRESULT SizeFigureText(ULONGLONG totalBytes, CZRVLocalizer* localizer, CString& text) noexcept;

// The format takes exactly one argument, an unsigned 64-bit number:
// %[flags][width][.precision]I64 and one of d i u x X, width and precision
// at most 32; %% anywhere.
bool IsSizeFigureFormat(const wchar_t* format) noexcept;
