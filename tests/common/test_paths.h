#pragma once
// Paths the tests work with: the folder of the running program (where the
// build puts the module and every other binary) and scratch folders.

#include <string>

namespace zrvtest {

std::wstring ProgramFolder();                        // with a trailing backslash
std::wstring ModulePath();                           // the built ZRVPropHelper.dll
std::wstring MakeScratchFolder(const wchar_t* tag);  // new, empty, under %TEMP%
void RemoveTree(const std::wstring& folder);
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
// The whole file, read while others may still write it; empty when it
// cannot be opened.
std::string ReadFileBytes(const std::wstring& path);
// Runs a program and waits for it; returns its exit code, or -1.
int RunProgram(const std::wstring& commandLine, unsigned timeoutMs = 60000);

}  // namespace zrvtest
