#include "cstring.h"

// Until the localizer client is in place, the string table is the only source
// of texts.
bool CString::LoadLocalizedString(UINT id) { return LoadString(id); }
