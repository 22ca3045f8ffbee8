#pragma once
// Paths the tests work with: the folder of the running program (where the
// build puts the module and every other binary) and scratch folders.

#include <string>

#include "support/handles.h"

namespace zrvtest {

std::wstring ProgramFolder();                        // with a trailing backslash
std::wstring ModulePath();                           // the built ZRVPropHelper.dll
std::wstring MakeScratchFolder(const wchar_t* tag);  // new, empty, under %TEMP%
void RemoveTree(const std::wstring& folder);
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
// The whole file, read while others may still write it; empty when it
// cannot be opened.
std::string ReadFileBytes(const std::wstring& path);
// Starts a program; the process handle, or an empty one when it cannot start.
zrv::unique_handle StartProgram(const std::wstring& commandLine);
// Runs a program and waits for it; returns its exit code, or -1.
int RunProgram(const std::wstring& commandLine, unsigned timeoutMs = 60000);

}  // namespace zrvtest
