#include "console.h"

#include <windows.h>

#include "store/core/utf8.h"

namespace zrvstore::tool {

namespace {

void Write(DWORD which, const std::wstring& text) {
    const HANDLE out = ::GetStdHandle(which);
    if (!out || out == INVALID_HANDLE_VALUE || text.empty()) return;
    DWORD mode = 0, written = 0;
    if (::GetConsoleMode(out, &mode)) {
        ::WriteConsoleW(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    const std::string bytes = ToUtf8(text);
    ::WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace

void Print(const std::wstring& text) { Write(STD_OUTPUT_HANDLE, text); }
void PrintError(const std::wstring& text) { Write(STD_ERROR_HANDLE, text); }

void PrintUtf8(const std::string& text) {
    const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0, written = 0;
    if (out && out != INVALID_HANDLE_VALUE && !::GetConsoleMode(out, &mode)) {
        ::WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    Print(FromUtf8(text));
}

}  // namespace zrvstore::tool
