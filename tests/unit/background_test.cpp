// BG: loading the buffer and combining the data with it by interpolation.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <vector>

#include "command_fixture.h"
#include "commands/command_context.h"
#include "commands/commands.h"
#include "session/session.h"

namespace tarva {
namespace {

struct Background : testing_support::CommandFixture {
    // Buffer from X = 10 to 20 with background 2 at 10 rising to 12 at 20.
    void load_ramp() {
        points({10, 15, 20}, {2, 7, 12}, {1, 1, 1});
        ASSERT_EQ(run("BG/L"), " Data loaded into background buffer\n\n");
    }
};

TEST_F(Background, EmptyBufferAndTooFewPoints) {
    points({1}, {1}, {1});
    EXPECT_EQ(run("BG/L"), " One or less data point is not enough!\a\n");
    for (char op : {'R', 'S', 'A', 'M', 'D'})
        EXPECT_EQ(run(std::string("BG/") + op), " Background buffer empty!\a\n") << op;
    EXPECT_EQ(ys(), std::vector<float>{1});
}

TEST_F(Background, SubtractInterpolatesInsideAndLeavesEndsAlone) {
    load_ramp();
    points({5, 10, 12, 15, 17.5f, 20, 25}, {100, 100, 100, 100, 100, 100, 100}, {1, 1, 1, 1, 1, 1, 1});
    EXPECT_EQ(run("BG/S"), " Subtraction of background performed.\n\n");
    EXPECT_EQ(ys(), (std::vector<float>{100, 100, 96, 93, 90.5f, 100, 100}));
    EXPECT_EQ(es(), (std::vector<float>{1, 1, 1, 1, 1, 1, 1}));
}

TEST_F(Background, AddSetsCountingErrors) {
    load_ramp();
    points({12, 15, 17.5f}, {0, -16, -9.5f}, {5, 5, 5});
    EXPECT_EQ(run("BG/A"), " Addition of background performed.\n\n");
    EXPECT_EQ(ys(), (std::vector<float>{4, -9, 0}));
    EXPECT_EQ(es(), (std::vector<float>{2, 3, 1})); // sqrt|Y|, or 1 at zero
}

TEST_F(Background, MultiplyKeepsErrorsPositive) {
    points({0, 1, 2}, {-2, -4, -6}, {0, 0, 0});
    run("BG/L");
    points({0.5f, 1.5f}, {3, 3}, {1, 2});
    EXPECT_EQ(run("BG/M"), " Multiplication by background performed.\n\n");
    EXPECT_EQ(ys(), (std::vector<float>{-9, -15}));
    EXPECT_EQ(es(), (std::vector<float>{3, 10}));
}

TEST_F(Background, DivideByZeroBackgroundLeavesPointAlone) {
    points({0, 1, 2, 3}, {2, 0, 4, 4}, {0, 0, 0, 0});
    run("BG/L");
    points({0.5f, 1, 2.5f}, {6, 6, 8}, {3, 3, 4});
    EXPECT_EQ(run("BG/D"), "  Background buffer zero near point 2\n Division by background performed.\n\n");
    EXPECT_EQ(ys(), (std::vector<float>{6, 6, 2}));
    EXPECT_EQ(es(), (std::vector<float>{3, 3, 1}));
}

TEST_F(Background, BufferIsSortedAndReloads) {
    // Descending data: without sorting every point would fall outside the
    // buffer and nothing would be subtracted.
    points({20, 15, 10}, {12, 7, 2}, {1, 1, 1});
    run("BG/L");
    EXPECT_EQ(s.data.background.count, 3);
    EXPECT_DOUBLE_EQ(s.data.background.x[0], 10.0);
    EXPECT_DOUBLE_EQ(s.data.background.y[2], 12.0);
    EXPECT_DOUBLE_EQ(s.data.background.x[3], 0.0);
    points({12}, {10}, {1});
    run("BG/S");
    EXPECT_EQ(ys(), std::vector<float>{6});

    points({1}, {1}, {1});
    EXPECT_EQ(run("BG/R"), " Background buffer loaded into main buffer\n\n");
    EXPECT_EQ(s.data.count, 3);
    EXPECT_EQ(ys(), (std::vector<float>{2, 7, 12}));
    EXPECT_EQ(es(), (std::vector<float>{0, 0, 0}));
}

TEST_F(Background, UnreadableAbscissaStopsTheLoop) {
    load_ramp();
    points({12, std::nanf(""), 15}, {10, 10, 10}, {1, 1, 1});
    EXPECT_EQ(run("BG/S"), " Unknown error at point    2\a\n");
    EXPECT_EQ(ys(), (std::vector<float>{6, 10, 10}));
}

TEST_F(Background, MenuReadsTheOption) {
    load_ramp();
    points({15}, {10}, {1});
    const std::string out = run("BG", "s\n");
    EXPECT_EQ(out.substr(0, 36), "\n\n Background subtraction options:\n\n");
    EXPECT_NE(out.find("\n <CR> Exit\n  Option >  Subtraction of background performed.\n"), std::string::npos);
    EXPECT_EQ(ys(), std::vector<float>{3});
    EXPECT_EQ(run("BG", "\n").find("performed"), std::string::npos);
    EXPECT_EQ(run("BG", "q\n").find("performed"), std::string::npos);
    EXPECT_EQ(ys(), std::vector<float>{3});
}

} // namespace
} // namespace tarva
