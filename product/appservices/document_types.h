#pragma once
// The document types that the product edits, as the extension list the
// Categories page searches: extensions separated by ';', lowercase.

#include <string>

namespace zrvappsvc {

// ZRV_DOCUMENT_EXTENSIONS, else the DocumentExtensions setting, else the
// product's default list. The result is lowercased, because callers look for
// a file's lowercase extension in it as a plain substring: a configured "PDF"
// must still match.
std::wstring EditableDocumentExtensions();

}  // namespace zrvappsvc
