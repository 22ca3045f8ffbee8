#include "localization/localizer.h"
#include "support/cstring.h"

bool CString::LoadLocalizedString(UINT id) {
    const bool found = LoadString(id);
    bool localized = false;
    {
        CZRVLocalizer localizer;
        localized = localizer.LocalizeString(id, *this);
    }
    return localized || found;
}
