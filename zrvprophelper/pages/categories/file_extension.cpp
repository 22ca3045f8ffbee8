#include "file_extension.h"

#include <wchar.h>

#include "support/crt_error.h"
#include "support/hresult.h"

HRESULT GetLowerExtension(const wchar_t* path, CString& extension) noexcept {
    CString text;
    ZRV_RETURN_IF_FAILED(text.SetString(path));
    ZRV_RETURN_IF_FAILED(text.Trim());
    CString found;
    for (int position = text.GetLength(); position >= 1; --position) {
        const wchar_t c = text[position];
        if (c == L'.') {
            ZRV_RETURN_IF_FAILED(text.Mid(position + 1, found));
            break;
        }
        if (c == L'\\' || c == L'/') break;
    }
    if (!found.IsEmpty()) {
        const int length = found.GetLength();
        wchar_t* buffer = found.GetBuffer();
        if (!buffer) return E_OUTOFMEMORY;
        ZRV_RETURN_IF_FAILED(
            ResultFromCrtError(::_wcslwr_s(buffer, static_cast<size_t>(length) + 1)));
        ZRV_RETURN_IF_FAILED(found.ReleaseBuffer(length));
    }
    extension = found;
    return S_OK;
}
