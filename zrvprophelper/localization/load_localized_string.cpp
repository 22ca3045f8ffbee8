#include <utility>

#include "localization/localizer.h"
#include "support/cstring.h"

HRESULT CString::LoadLocalizedString(UINT id) noexcept {
    // Made apart, so that a failure leaves this string as it was.
    CString text;
    const HRESULT loaded = text.LoadString(id);
    if (FAILED(loaded)) return loaded;
    HRESULT localized = S_FALSE;
    {
        CZRVLocalizer localizer;
        localized = localizer.LocalizeString(id, text);
    }
    if (FAILED(localized)) return localized;
    *this = std::move(text);
    return localized == S_OK || loaded == S_OK ? S_OK : S_FALSE;
}
