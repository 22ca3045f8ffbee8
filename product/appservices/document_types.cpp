#include "document_types.h"

#include <windows.h>

#include "appservices/invariant_case.h"
#include "appservices/settings.h"

namespace zrvappsvc {

namespace {

constexpr wchar_t kDefaultExtensions[] =
    L"doc;docx;dot;dotx;rtf;txt;xls;xlsx;xlt;ppt;pptx;pdf;odt;ods;odp;htm;html;xml;csv;vsd;msg;"
    L"eml";

}  // namespace

std::wstring EditableDocumentExtensions() {
    std::optional<std::wstring> list = EnvironmentText(L"ZRV_DOCUMENT_EXTENSIONS");
    if (!list) list = OfficeSetting(L"DocumentExtensions");
    const std::wstring source = list ? *list : std::wstring(kDefaultExtensions);
    return InvariantCase(source, LCMAP_LOWERCASE);
}

}  // namespace zrvappsvc
