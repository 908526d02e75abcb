// The helper thread shares pieces of a loop with the caller: every index must
// be done exactly once, whoever does it, however late the helper is, and the
// call must not return before the last piece is finished.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "fitting/parallel.h"

namespace tarva {
namespace {

TEST(RunSplit, DoesEveryIndexOnceAndReturnsOnlyWhenAllAreDone) {
    for (bool enabled : {true, false}) {
        set_helper_use(enabled ? HelperUse::always : HelperUse::never);
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
    set_helper_use(HelperUse::when_it_pays);
}

TEST(RunHalves, RunsBothHalvesOnceEachTime) {
    for (bool enabled : {true, false}) {
        set_helper_use(enabled ? HelperUse::always : HelperUse::never);
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
    set_helper_use(HelperUse::when_it_pays);
}

// Two threads with jobs at the same time (two sessions fitting side by
// side): each job is done whole, every index once, by its own caller and
// the helper, never mixed with the other's.
TEST(RunSplit, JobsOfTwoThreadsAtOnceEachDoneWholeOnce) {
    set_helper_use(HelperUse::always);
    auto work = [](int tag, std::vector<int>& out, bool& ok) {
        for (int round = 1; round <= 400 && ok; ++round) {
            run_split(static_cast<int>(out.size()), [&](int begin, int end) {
                for (int i = begin; i < end; ++i) out[static_cast<std::size_t>(i)] += tag;
            });
            for (std::size_t i = 0; i < out.size() && ok; ++i) ok = out[i] == round * tag;
        }
    };
    std::vector<int> a(700, 0), b(1000, 0);
    bool ok_a = true, ok_b = true;
    std::thread other(work, 3, std::ref(b), std::ref(ok_b));
    work(1, a, ok_a);
    other.join();
    EXPECT_TRUE(ok_a);
    EXPECT_TRUE(ok_b);
    set_helper_use(HelperUse::when_it_pays);
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

// The helper is used only where it pays: a problem large enough, two
// processors, and one of them free now (the caller and an awake helper do
// not count against that). An unknown load leaves it used.
TEST(HelperPays, OnlyForLargeProblemsWhenAProcessorIsFree) {
    // P1 (1024 points, 50 varied) and P2 (256, 14) on an idle 2-core machine.
    EXPECT_TRUE(helper_pays_on(1024, 50, 2, 1, false));
    EXPECT_TRUE(helper_pays_on(256, 14, 2, 1, false));
    EXPECT_TRUE(helper_pays_on(1024, 50, 2, 2, true)); // our own helper spinning
    EXPECT_TRUE(helper_pays_on(1024, 50, 4, 3, false));
    EXPECT_TRUE(helper_pays_on(1024, 50, 2, -1, false));
    // Busy: another task runnable besides the caller (and its helper).
    EXPECT_FALSE(helper_pays_on(1024, 50, 2, 2, false));
    EXPECT_FALSE(helper_pays_on(1024, 50, 2, 3, true));
    EXPECT_FALSE(helper_pays_on(1024, 50, 2, 19, false));
    EXPECT_FALSE(helper_pays_on(1024, 50, 4, 4, false));
    // Small problems and single processors never.
    EXPECT_FALSE(helper_pays_on(63, 50, 2, 1, false));
    EXPECT_FALSE(helper_pays_on(100, 5, 2, 1, false));
    EXPECT_FALSE(helper_pays_on(1024, 50, 1, 1, false));
}

TEST(HelperPays, ReadsTheRunnableTasksOfLoadavg) {
    EXPECT_EQ(runnable_tasks_from("0.52 0.64 0.31 2/345 1234\n"), 2);
    EXPECT_EQ(runnable_tasks_from("15.31 12.68 7.24 15/243 23379"), 15);
    EXPECT_EQ(runnable_tasks_from("15.31 12.68 7.24 /243 23379"), -1);
    EXPECT_EQ(runnable_tasks_from("15.31 12.68"), -1);
    EXPECT_EQ(runnable_tasks_from(""), -1);
    EXPECT_EQ(runnable_tasks_from("1 2 3 45"), -1);
}

} // namespace
} // namespace tarva
