// A DLL with nothing in it, for sheet_bench: its load first in a process is
// the part of the module's load that any DLL pays.

#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
