// Walks every allocation of an operation: run N fails the Nth allocation, for N = 1, 2, ...
// until a run completes without reaching its Nth allocation. Each run must leave no block
// behind; `check` asserts what the operation reported for that run.
#pragma once

#include <gtest/gtest.h>

#include "core/mem.h"

namespace quillon::test {

// `run` performs the operation and releases whatever it produced on success;
// `check(fired, result)` is told whether the injected failure happened in this run.
template <class Run, class Check>
void WalkAllocationFailures(Run run, Check check, long limit = 100000) {
    for (long n = 1; n <= limit; ++n) {
        const long live_before = MEM_LiveBlocks();
        MEM_FailNthAllocation(n);
        auto result = run();
        const bool fired = MEM_InjectedFailureFired();
        MEM_FailNthAllocation(0);
        EXPECT_EQ(MEM_LiveBlocks(), live_before) << "blocks leaked with allocation " << n << " failing";
        check(fired, result);
        if (!fired) return;
    }
    ADD_FAILURE() << "operation still allocating after " << limit << " allocations";
}

}  // namespace quillon::test
