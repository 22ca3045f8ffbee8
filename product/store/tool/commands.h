#pragma once

#include <string>
#include <vector>

namespace zrvstore::tool {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitDamaged = 3;

// args without the program name; args[0] is the command.
int RunCommand(const std::vector<std::wstring>& args);

}  // namespace zrvstore::tool
