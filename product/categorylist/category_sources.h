#pragma once
// Where the names come from: the product's category catalogue, and one
// document's categories in the document store. Neither source is required:
// whatever cannot be read gives no names.

#include <string>
#include <vector>

namespace zrvcatlist {

// The catalogue file: the file named by ZRV_CATEGORY_CATALOG when that is
// set, else the user's own copy in the application data folder when there is
// one, else the copy shipped beside this DLL.
std::wstring CataloguePath();

// In file order. A missing, unreadable or oversized file gives no names.
std::vector<std::wstring> LoadCatalogueNames();

// Sorted for display. No store, a document the store cannot open, or no
// categories property give no names.
std::vector<std::wstring> LoadDocumentNames(const std::wstring& path);

}  // namespace zrvcatlist
