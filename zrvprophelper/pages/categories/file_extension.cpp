#include "file_extension.h"

#include <wchar.h>

#include "support/exceptions.h"

CString GetLowerExtension(const wchar_t* path) {
    CString text(path);
    text.Trim();
    CString extension;
    for (int position = text.GetLength(); position >= 1; --position) {
        const wchar_t c = text[position];
        if (c == L'.') {
            extension = text.Mid(position + 1);
            break;
        }
        if (c == L'\\' || c == L'/') break;
    }
    if (!extension.IsEmpty()) {
        const int length = extension.GetLength();
        AtlCrtErrorCheck(::_wcslwr_s(extension.GetBuffer(), static_cast<size_t>(length) + 1));
        extension.ReleaseBuffer(length);
    }
    return extension;
}
