#include "crt_error.h"

HRESULT ResultFromCrtError(int error) noexcept {
    switch (error) {
        case 0:
        case 80:  // STRUNCATE: the caller asked for truncation
            return S_OK;
        case 12:  // ENOMEM
            return E_OUTOFMEMORY;
        case 22:  // EINVAL
        case 34:  // ERANGE
            return E_INVALIDARG;
        default:
            return E_FAIL;
    }
}
