#include "exceptions.h"

void AtlCrtErrorCheck(int error) {
    switch (error) {
        case 0:
        case 80:  // STRUNCATE: the caller asked for truncation
            return;
        case 12:  // ENOMEM
            AtlThrow(E_OUTOFMEMORY);
        case 22:  // EINVAL
        case 34:  // ERANGE
            AtlThrow(E_INVALIDARG);
        default:
            AtlThrow(E_FAIL);
    }
}
