#pragma once
// Category names as the list shows them, read from the two texts they come
// from: a document's categories property and the catalogue file.

#include <string>
#include <vector>

namespace zrvcatlist {

// A categories property: names separated by ';', white space around a name
// not part of it, empty names skipped, each name once (exact comparison:
// the store tells "a" from "A"), in the order of first appearance.
std::vector<std::wstring> SplitCategoryText(const wchar_t* text);

// The catalogue: one category per line. A line holding ';' is read as
// several names, because a name with ';' could never be stored as one.
std::vector<std::wstring> ParseCatalogue(const std::wstring& text);

// A text file's bytes as UTF-16: UTF-16 (either byte order) or UTF-8 when a
// byte-order mark says so; without one, UTF-8 when the bytes are valid
// UTF-8, else the system code page.
std::wstring DecodeTextFile(const std::string& bytes);

// Alphabetical regardless of case, ties broken by code units so that the
// order never depends on what order the names came in.
void SortForDisplay(std::vector<std::wstring>& names);

}  // namespace zrvcatlist
