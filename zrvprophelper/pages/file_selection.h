#pragma once

#include <vector>

#include "support/cstring.h"

// The selected paths in drop order, at most 100, each at most 259 characters.
using FileSelection = std::vector<CString>;

constexpr size_t kMaxSelection = 100;
