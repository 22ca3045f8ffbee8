#include "support/crt_error.h"

#include <gtest/gtest.h>

namespace {

TEST(ResultFromCrtError, MapsRuntimeErrorCodes) {
    EXPECT_EQ(S_OK, ResultFromCrtError(0));
    EXPECT_EQ(S_OK, ResultFromCrtError(80));  // truncation the caller asked for
    EXPECT_EQ(E_OUTOFMEMORY, ResultFromCrtError(12));
    EXPECT_EQ(E_INVALIDARG, ResultFromCrtError(22));
    EXPECT_EQ(E_INVALIDARG, ResultFromCrtError(34));
    for (int other : {-1, 1, 2, 13, 33, 42, 79, 81}) {
        EXPECT_EQ(E_FAIL, ResultFromCrtError(other)) << other;
    }
}

}  // namespace
