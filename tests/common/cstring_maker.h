#pragma once
// Texts that tests hand to the module: its string types answer running out
// of memory instead of raising it, and a test has memory to spare.

#include <gtest/gtest.h>

#include <string>

#include "support/cstring.h"

namespace zrvtest {

// The text whole, embedded NULs included; a text that cannot be made fails
// the test.
inline CString MakeCString(const std::wstring& text) {
    CString made;
    EXPECT_EQ(S_OK, made.SetString(text.data(), static_cast<int>(text.size())));
    return made;
}

}  // namespace zrvtest
