#include "category_selection.h"

#include <cstring>
#include <cwchar>

CategorySelection GatherSelection(ICategoryEnum* selection) {
    CategorySelection items;
    if (!selection) return items;
    selection->Reset();
    // One buffer for the whole walk. It starts zeroed so that a record the
    // control leaves untouched reads as an empty name, not as stack bytes.
    CategoryItem item;
    std::memset(&item, 0, sizeof(item));
    ULONG fetched = 0;
    while (selection->Next(1, &item, &fetched) == S_OK) items.push_back(item);
    return items;
}

CString CategoryItemName(const CategoryItem& item) {
    return CString(item.name, static_cast<int>(::wcsnlen(item.name, ARRAYSIZE(item.name))));
}
