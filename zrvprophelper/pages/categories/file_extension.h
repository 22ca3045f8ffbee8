#pragma once
// The extension of a document's path in lowercase, as the list of editable
// document types spells extensions.

#include "support/cstring.h"

// The characters after the last '.' of the file name, lowercased in the
// current C locale; empty when the name has no dot after its last '\' or
// '/'. White space around the path is ignored; a null path has no
// extension. A dot in the very first position is not looked at.
HRESULT GetLowerExtension(const wchar_t* path, CString& extension) noexcept;
