// The helper thread shares pieces of a loop with the caller: every index must
// be done exactly once, whoever does it, however late the helper is, and the
// call must not return before the last piece is finished.
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "fitting/parallel.h"

namespace tarva {
namespace {

TEST(RunSplit, DoesEveryIndexOnceAndReturnsOnlyWhenAllAreDone) {
    for (bool enabled : {true, false}) {
        set_parallel(enabled);
        for (int n : {0, 1, 63, 64, 65, 100, 256, 1000, 1024, 1031}) {
            std::vector<std::atomic<int>> hits(static_cast<std::size_t>(n));
            for (int round = 0; round < 200; ++round) {
                run_split(n, [&](int begin, int end) {
                    ASSERT_LE(0, begin);
                    ASSERT_LE(begin, end);
                    ASSERT_LE(end, n);
                    for (int i = begin; i < end; ++i) hits[static_cast<std::size_t>(i)].fetch_add(1);
                });
                // Read straight after the call: a piece still running on the
                // helper would show up as a missing hit.
                for (int i = 0; i < n; ++i)
                    ASSERT_EQ(hits[static_cast<std::size_t>(i)].load(), round + 1) << "n " << n << " index " << i;
            }
        }
    }
    set_parallel(true);
}

TEST(RunHalves, RunsBothHalvesOnceEachTime) {
    for (bool enabled : {true, false}) {
        set_parallel(enabled);
        std::atomic<int> first{0}, second{0};
        for (int round = 1; round <= 5000; ++round) {
            run_halves([&](int begin, int end) {
                ASSERT_EQ(end, begin + 1);
                (begin == 0 ? first : second).fetch_add(1);
            });
            ASSERT_EQ(first.load(), round);
            ASSERT_EQ(second.load(), round);
        }
    }
    set_parallel(true);
}

// A waking call with nothing to do, between real jobs, must not disturb them.
TEST(RunSplit, WakingTheHelperBetweenJobsChangesNothing) {
    std::vector<int> out(512, 0);
    for (int round = 1; round <= 300; ++round) {
        if (round % 3 == 0) wake_helper();
        run_split(512, [&](int begin, int end) {
            for (int i = begin; i < end; ++i) out[static_cast<std::size_t>(i)] = round * 1000 + i;
        });
        for (int i = 0; i < 512; ++i) ASSERT_EQ(out[static_cast<std::size_t>(i)], round * 1000 + i);
    }
}

} // namespace
} // namespace tarva
