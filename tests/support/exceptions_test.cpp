#include "support/exceptions.h"

#include <gtest/gtest.h>

namespace {

HRESULT CheckResult(int error) {
    try {
        AtlCrtErrorCheck(error);
    } catch (const CAtlException& e) {
        return e.m_hr;
    }
    return S_OK;
}

TEST(AtlCrtErrorCheck, MapsRuntimeErrorCodes) {
    EXPECT_EQ(S_OK, CheckResult(0));
    EXPECT_EQ(S_OK, CheckResult(80));  // truncation the caller asked for
    EXPECT_EQ(E_OUTOFMEMORY, CheckResult(12));
    EXPECT_EQ(E_INVALIDARG, CheckResult(22));
    EXPECT_EQ(E_INVALIDARG, CheckResult(34));
    for (int other : {-1, 1, 2, 13, 33, 42, 79, 81}) {
        EXPECT_EQ(E_FAIL, CheckResult(other)) << other;
    }
}

}  // namespace
