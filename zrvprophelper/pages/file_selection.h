#pragma once

#include "support/cstring.h"
#include "support/nothrow_vector.h"

// The selected paths in drop order, at most 100, each at most 259 characters.
using FileSelection = zrv::nothrow_vector<CString>;

constexpr size_t kMaxSelection = 100;
