#pragma once
// A data object that offers one block of global memory in one clipboard
// format: what a browser hands to property-sheet handlers as the selection.

#include <windows.h>
#include <objidl.h>

#include <string>
#include <vector>

namespace zrvproduct {

// A DROPFILES block listing the paths (wide names, double NUL at the end).
std::string BuildDropList(const std::vector<std::wstring>& paths);

// Offers a copy of bytes as format in global memory on every GetData call.
HRESULT CreateMemoryDataObject(CLIPFORMAT format, const std::string& bytes, IDataObject** object);

inline HRESULT CreateDropDataObject(const std::vector<std::wstring>& paths, IDataObject** object) {
    return CreateMemoryDataObject(CF_HDROP, BuildDropList(paths), object);
}

}  // namespace zrvproduct
