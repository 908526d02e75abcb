// NORM: region and height settings, the three ways of normalising, and the
// refusals that must leave the data alone.
#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "command_fixture.h"
#include "commands/command_context.h"
#include "commands/commands.h"
#include "session/session.h"

namespace tarva {
namespace {

struct Norm : testing_support::CommandFixture {};

TEST_F(Norm, NothingHappensBeforeARegionAndHeightAreSet) {
    points({1, 2}, {4, 6}, {1, 1});
    EXPECT_EQ(run("NORM"), " Unable to normalise - no x-range specified.\n");
    s.data.normalisation.low = 1;
    s.data.normalisation.high = 2;
    EXPECT_EQ(run("NORM"), " Unable to normalise - zero normalisation height.\n");
    EXPECT_FLOAT_EQ(s.data.Y[0], 4.0f);
}

TEST_F(Norm, HeightFromArgumentIgnoresZero) {
    EXPECT_EQ(run("NORM/I 2.5"), " Normalise to a height of   2.5000    \n\n");
    EXPECT_EQ(run("NORM/I 0.0"), " Normalise to a height of   2.5000    \n\n");
    EXPECT_DOUBLE_EQ(s.data.normalisation.height, 2.5);
}

TEST_F(Norm, RegionIsStoredLowFirstAndHeightIsItsMean) {
    points({1, 2, 3, 4, 5, 6}, {10, 20, 30, 40, 50, 60}, {1, 1, 1, 1, 1, 1});
    std::string out = run("NORM/V", "5,2\n");
    EXPECT_EQ(out, " Region for average normalisation height (  0.0000     to   0.0000    ) >"
                   "  Normalise to a height of   35.000    \n\n");
    EXPECT_DOUBLE_EQ(s.data.normalisation.low, 2.0);
    EXPECT_DOUBLE_EQ(s.data.normalisation.high, 5.0);
    // The stored limits are offered again; an empty answer keeps them.
    out = run("NORM/V", "\n");
    EXPECT_NE(out.find("(  2.0000     to   5.0000    ) >"), std::string::npos);
}

TEST_F(Norm, RegionRefusals) {
    points({1, 2}, {1, 2}, {1, 1});
    s.data.normalisation.height = 7;
    EXPECT_NE(run("NORM/V", "0 0\n").find("Unable to determine normalisation height - no range specified.\n"),
              std::string::npos);
    EXPECT_NE(run("NORM/V", "10 20\n").find("Unable to determine normalisation height - no points in region.\n"),
              std::string::npos);
    EXPECT_DOUBLE_EQ(s.data.normalisation.height, 7.0); // kept
    EXPECT_DOUBLE_EQ(s.data.normalisation.low, 10.0);   // the region is stored all the same
    // A bad answer is asked for again.
    run("NORM/V", "x\n1 2\n");
    EXPECT_DOUBLE_EQ(s.data.normalisation.height, 1.5);
}

TEST_F(Norm, MeanScalesAllPointsAndTheParameterFactor) {
    points({1, 2, 3, 4}, {2, 4, 6, 100}, {1, 2, 3, 4});
    s.data.normalisation = {1, 3, 2};
    s.data.experiment.normalisation() = 3.0f;
    EXPECT_EQ(run("NORM"), " Normalisation complete - normalisation factor  0.50000    \n");
    const std::vector<float> y(s.data.Y.begin(), s.data.Y.begin() + 4);
    const std::vector<float> sig(s.data.SIGMA.begin(), s.data.SIGMA.begin() + 4);
    EXPECT_EQ(y, (std::vector<float>{1, 2, 3, 50})); // points outside the region too
    EXPECT_EQ(sig, (std::vector<float>{0.5f, 1, 1.5f, 2}));
    EXPECT_FLOAT_EQ(s.data.experiment.normalisation(), 1.5f);
}

TEST_F(Norm, MaximumAndRangeModes) {
    points({1, 2, 3}, {2, 8, 4}, {1, 1, 1});
    s.data.normalisation = {1, 3, 4};
    EXPECT_EQ(run("NORM/H"), "  Maximum height normalisation mode.\n"
                             " Normalisation complete - normalisation factor  0.50000    \n");
    EXPECT_FLOAT_EQ(s.data.Y[1], 4.0f);

    points({1, 2, 3}, {2, 8, 4}, {1, 1, 1});
    EXPECT_EQ(run("NORM/B"), " Background subtraction and maximum height normalisation mode.\n"
                             " ymin:    2.0000     ymax:    8.0000     ynorm:    4.0000    \n"
                             " yoff:    2.0000     yfac:   0.66667    \n"
                             " Normalisation complete - normalisation factor  0.66667    \n");
    EXPECT_FLOAT_EQ(s.data.Y[0], 0.0f);
    EXPECT_FLOAT_EQ(s.data.Y[1], 4.0f);
    EXPECT_FLOAT_EQ(s.data.SIGMA[2], 4.0f / 6.0f);
}

TEST_F(Norm, FlatOrZeroRegionChangesNothing) {
    points({1, 2, 3}, {5, 5, 0}, {1, 1, 1});
    s.data.normalisation = {1, 2, 4};
    EXPECT_EQ(run("NORM/B"), " Background subtraction and maximum height normalisation mode.\n"
                             " Unable to normalise - zero present range.\n");
    s.data.normalisation = {3, 3, 4};
    EXPECT_EQ(run("NORM"), " Unable to normalise - zero present height.\n");
    s.data.normalisation = {8, 9, 4};
    EXPECT_EQ(run("NORM"), " Unable to normalise - no points in region.\n");
    EXPECT_FLOAT_EQ(s.data.Y[0], 5.0f);
    EXPECT_FLOAT_EQ(s.data.SIGMA[0], 1.0f);
    EXPECT_FLOAT_EQ(s.data.experiment.normalisation(), 1.0f);
}

TEST_F(Norm, UnknownQualifier) { EXPECT_EQ(run("NORM/X"), " Unknown option.\n\n"); }

} // namespace
} // namespace tarva
