#pragma once

#include <string>

namespace zrvstore {

std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);

}  // namespace zrvstore
