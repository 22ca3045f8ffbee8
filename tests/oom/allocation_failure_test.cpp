// Out of memory anywhere along a host's road: each allocation the module
// makes is failed in turn, in a child process of its own, and the host must
// live on, the store must hold only what the user or the page meant, and
// nothing may be saved or announced after a write that did not happen.

#include <gtest/gtest.h>

#include "oom/oom_fixture.h"

using namespace zrvoomtest;

namespace {

std::string NoMoreToCheck(const RunOutcome&, const RunOutcome&) { return std::string(); }

TEST_F(AllocationFailureTest, HandlerCreationInitializeAndAddPages) {
    TryEveryAllocation(Scenario::Handlers, SeededDocument(), &NoMoreToCheck);
}

TEST_F(AllocationFailureTest, ThreePageSheetWithAnEditAndOk) {
    TryEveryAllocation(Scenario::Sheet, SeededDocument(), &CheckSheetRun);
}

TEST_F(AllocationFailureTest, ThreePageSheetWithTheLocalizerMap) {
    TryEveryAllocation(Scenario::SheetWithMap, SeededDocument(), &CheckSheetRun);
}

// Memory that stays out for a while: the runtime's first report of it (a
// throw) must not need memory that it cannot do without. (The sheet takes
// minutes so: ZRV_TEST_OOM_FAIL_COUNT=3 with the sheet's tests tries that by
// hand.)
TEST_F(AllocationFailureTest, HandlersWithThreeAllocationsFailedInARow) {
    TryEveryAllocation(Scenario::Handlers, SeededDocument(), &NoMoreToCheck, 3);
}

// Memory gone for good: every allocation from the Nth on fails.
TEST_F(AllocationFailureTest, HandlersWithMemoryGoneForGood) {
    TryEveryAllocation(Scenario::Handlers, SeededDocument(), &NoMoreToCheck, 1000000);
}

TEST_F(AllocationFailureTest, GeneralPageWalkingAFolder) {
    TryEveryAllocation(Scenario::FolderWalk, FolderTree(), &CheckWalkRun);
}

}  // namespace
