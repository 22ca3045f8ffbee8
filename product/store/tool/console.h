#pragma once
// Output of the command-line tool: UTF-16 to a console, UTF-8 to a file or
// pipe, so that scripts and tests read what a person would see.

#include <string>

namespace zrvstore::tool {

void Print(const std::wstring& text);
void PrintError(const std::wstring& text);
// Bytes that are already UTF-8 (the journal) go to a file unchanged.
void PrintUtf8(const std::string& text);

}  // namespace zrvstore::tool
