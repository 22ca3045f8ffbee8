#pragma once
// The registrar that carries out the module's registry scripts (resource type
// "REGISTRY"). A script is parsed completely into a tree before the registry is
// touched, so a malformed script writes nothing.
//
// Grammar (tokens are separated by blanks, tabs, CR or LF):
//
//   script  := { "HKCR" "{" item* "}" }
//   item    := "val" name "=" typed | [NoRemove | ForceRemove] name ["=" typed] ["{" item* "}"]
//   typed   := s 'text'
//
// Names are bare words (CLSID, *, {GUID}) or quoted text ('TypeLib'); quoting is how
// a key whose name is a keyword is written. A key name is one level: a backslash
// in it is refused. Keywords and type letters are matched without regard to case.
// Inside names and quoted text, %NAME% is replaced by the variable's value (the
// name is matched without regard to case) and %% gives one '%'; inside quotes, ''
// gives one quote. Replacement happens after the script was split into tokens, so
// a value such as a path with a quote in it stays literal text. Values are
// strings (REG_SZ): the module's scripts write nothing else.
//
// Register: a ForceRemove key is deleted with everything below it, then created
// again; other keys are created if missing; values are set.
// Unregister: keys that do not exist are skipped; a ForceRemove key is deleted
// with everything below it; for any other key its items are carried out first
// (named values are deleted, subkeys unregistered), then a NoRemove key stays, a
// plain key is deleted only if no subkeys are left in it (someone else's subkeys
// keep it alive).
//
// Results: S_OK; DISP_E_EXCEPTION for any fault in the script itself (syntax,
// unknown variable, a value type other than s, nesting deeper than 64 blocks); E_POINTER for
// null text with a non-zero length; E_INVALIDARG for text of 2 GB or more;
// HRESULT_FROM_WIN32 of the registry's or the loader's error code otherwise.
// A registry failure stops the run where it happened: what ran before it stays
// written.

#include <windows.h>

#include <cstddef>

namespace zrv {

// Both texts are the caller's, and must outlive the run.
struct RegistryVariable {
    const wchar_t* name;
    const wchar_t* value;
};

// Runs a registry script: 8-bit text in the ANSI code page, as stored in a
// "REGISTRY" resource. The text ends at `length` bytes; NUL bytes may pad its
// end but not appear before real text. E_OUTOFMEMORY when the script's tree
// cannot be made: nothing is written then.
HRESULT RunRegistryScript(const char* text, size_t length, bool doRegister,
                          const RegistryVariable* variables, size_t variableCount) noexcept;

// Loads the "REGISTRY" resource `id` of `module` and runs it.
HRESULT RunRegistryScriptResource(HMODULE module, UINT id, bool doRegister,
                                  const RegistryVariable* variables, size_t variableCount) noexcept;

}  // namespace zrv
