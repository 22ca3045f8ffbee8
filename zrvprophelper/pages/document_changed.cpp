#include "document_changed.h"

#include <shlobj.h>

#include "components/component_ids.h"
#include "support/com_ptr.h"

void AnnounceDocumentChanged(BSTR path) noexcept {
    zrv::com_ptr<IDocumentProperties> properties;
    if (SUCCEEDED(::CoCreateInstance(CLSID_DocumentProperties, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IDocumentProperties, properties.put_void())) &&
        properties) {
        properties->UpdateDocument(path);
    }
    ::SHChangeNotify(SHCNE_UPDATEITEM, SHCNF_PATHW, path, nullptr);
}
