#include "document_changed.h"

#include <shlobj.h>

#include "components/component_ids.h"
#include "support/bstr.h"
#include "support/com_ptr.h"

void AnnounceDocumentChanged(const CString& path) {
    const CComBSTR text(path);
    zrv::com_ptr<IDocumentProperties> properties;
    if (SUCCEEDED(::CoCreateInstance(CLSID_DocumentProperties, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IDocumentProperties, properties.put_void())) &&
        properties) {
        properties->UpdateDocument(text);
    }
    ::SHChangeNotify(SHCNE_UPDATEITEM, SHCNF_PATHW, text.get(), nullptr);
}
