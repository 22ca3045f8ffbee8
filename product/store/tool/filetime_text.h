#pragma once
// The expiration instant as the tool shows and takes it: UTC, no local time.

#include <windows.h>

#include <string>

namespace zrvstore::tool {

// "YYYY-MM-DD HH:MM:SS <raw>", "none 0" for 0, "invalid <raw>" for a value
// that is no calendar time.
std::wstring FormatExpiration(ULONGLONG value);

// "0", a raw decimal 64-bit value, "YYYY-MM-DD" or "YYYY-MM-DD HH:MM:SS".
bool ParseExpiration(const std::wstring& text, ULONGLONG& value);

// A decimal number that fits `limit`.
bool ParseUnsigned(const std::wstring& text, ULONGLONG limit, ULONGLONG& value);

}  // namespace zrvstore::tool
