#include "summary_page.h"

HRESULT CZRVPropPage_Summary::Initialize(PCIDLIST_ABSOLUTE folder, IDataObject* data,
                                         HKEY fileType) {
    const HRESULT hr = CZRVPropPage::Initialize(folder, data, fileType);
    if (FAILED(hr)) return hr;
    return selection.size() == 1 ? hr : E_FAIL;
}
