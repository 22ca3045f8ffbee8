#include "document_types.h"

#include <windows.h>

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
    std::wstring result(source.size(), L'\0');
    if (!source.empty()) {
        ::LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_LOWERCASE, source.data(),
                        static_cast<int>(source.size()), result.data(),
                        static_cast<int>(result.size()), nullptr, nullptr, 0);
    }
    return result;
}

}  // namespace zrvappsvc
