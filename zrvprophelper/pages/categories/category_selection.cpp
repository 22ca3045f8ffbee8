#include "category_selection.h"

#include <cstring>
#include <cwchar>

#include "support/hresult.h"

HRESULT GatherSelection(ICategoryEnum* selection, CategorySelection& items) noexcept {
    items.clear();
    if (!selection) return S_OK;
    selection->Reset();
    // One buffer for the whole walk. It starts zeroed so that a record the
    // control leaves untouched reads as an empty name, not as stack bytes.
    CategoryItem item;
    std::memset(&item, 0, sizeof(item));
    ULONG fetched = 0;
    while (selection->Next(1, &item, &fetched) == S_OK) ZRV_RETURN_IF_FAILED(items.push_back(item));
    return S_OK;
}

HRESULT CategoryItemName(const CategoryItem& item, CString& name) noexcept {
    return name.SetString(item.name, static_cast<int>(::wcsnlen(item.name, ARRAYSIZE(item.name))));
}
