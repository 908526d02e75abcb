// AVERAG (statistics, weighted mean, smoothing, compression), ORDER and
// REGUL on small data sets whose results are known by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <vector>

#include "command_fixture.h"
#include "commands/commands.h"
#include "session/session.h"

namespace tarva {
namespace {

struct AverageOrder : testing_support::CommandFixture {};

TEST_F(AverageOrder, Statistics) {
    EXPECT_EQ(run("AVERAG"), " ? No data!\n");
    points({1, 2, 3}, {4, 4, 4}, {1, 1, 4});
    EXPECT_EQ(run("AVERAG"), "  Ave. X coord.    2.0000     (std. dev.:    1.0000    )\n"
                             "        (min:    1.0000     max:    3.0000     +/-:    1.0000    )\n"
                             "  Ave. Y coord.    4.0000     (std. dev.:    0.0000    )\n"
                             "        (min:    4.0000     max:    4.0000     +/-:    0.0000    )\n"
                             "  Ave. err. bar    2.0000     (std. dev.:    1.7321    )\n"
                             "        (min:    1.0000     max:    4.0000     +/-:    1.5000    )\n");
    points({5}, {1}, {1});
    EXPECT_NE(run("AVERAG").find("5.0000     (std. dev.:    0.0000    )"), std::string::npos);
    EXPECT_EQ(run("AVERAG/Q"), " Unknown option - Q\n\n");
}

TEST_F(AverageOrder, WeightedMeanLeavesTheDataAlone) {
    points({1, 2}, {1, 4}, {1, 2});
    // Weights 1 and 1/4: mean (1 + 1)/1.25, uncertainty 1/sqrt(1.25).
    EXPECT_EQ(run("AVERAG/W"), " Computing weighted means.\n\n"
                               " WEIGHTED MEAN OF Y VALUES =    1.6000    \n"
                               "   UNCERTAINTY IN THE MEAN =   0.89443    \n\n");
    EXPECT_EQ(ys(), (std::vector<float>{1, 4}));
    // Zero error bars: reported for the first ten only; they dominate the mean.
    std::vector<float> x(12, 1), y(12, 3), e(12, 0);
    y[11] = 100;
    e[11] = 1;
    points(x, y, e);
    const std::string text = run("AVERAG/W");
    EXPECT_NE(text.find(" Zero error bar found at point   10, error set to 1.0e-10\n WEIGHTED"), std::string::npos);
    EXPECT_EQ(text.find("point   11"), std::string::npos);
    EXPECT_NE(text.find("MEAN OF Y VALUES =    3.0000"), std::string::npos);
}

TEST_F(AverageOrder, SmoothingWindow) {
    points({1, 2, 3, 4, 5}, {1, 2, 9, 4, 5}, {1, 1, 3, 1, 1});
    EXPECT_EQ(run("AVERAG/S 2"), "\n Smoothing the data with a +/- 2 window, a total\n of  5 points in the window.\n"
                                 " Y replaced with weighted means of groups of   5 old Y values\n  Yerr likewise.\n");
    ASSERT_EQ(s.data.count, 1);
    const double sw = 4 + 1.0 / 9;
    EXPECT_FLOAT_EQ(s.data.X[0], 3);
    EXPECT_FLOAT_EQ(s.data.Y[0], static_cast<float>((1 + 2 + 1 + 4 + 5) / sw));
    EXPECT_FLOAT_EQ(s.data.SIGMA[0], static_cast<float>(1 / std::sqrt(sw)));
    EXPECT_EQ(s.data.Y[4], 5.0F); // beyond the count: as it was

    // A window that does not fit even once leaves the data as they were.
    for (int n : {3, 4}) {
        points(std::vector<float>(n, 1), std::vector<float>(n, 2), std::vector<float>(n, 1));
        EXPECT_NE(run("AVERAG/S 2").find(" Insufficient data for this window.\n"), std::string::npos);
        EXPECT_EQ(s.data.count, n);
    }
    // Asked for when the argument is missing; a blank answer ends it.
    EXPECT_EQ(run("AVERAG/S", "\n"), "\n Smooth the data using a +/-N point window.\n\n Half width of window, N ? > ");
    EXPECT_EQ(s.data.count, 4);
    run("AVERAG/S", "1\n");
    EXPECT_EQ(s.data.count, 2);
}

TEST_F(AverageOrder, CompressionDropsTheIncompleteGroup) {
    std::vector<float> x, y, e;
    for (int i = 1; i <= 10; ++i) {
        x.push_back(static_cast<float>(i));
        y.push_back(static_cast<float>(10 * i));
        e.push_back(i == 2 ? 2.0F : 1.0F);
    }
    points(x, y, e);
    const std::string text = run("AVERAG/C 3");
    EXPECT_EQ(text, " Compress the data.\n\n   3 old data points grouped to form 1 new data point.\n\n"
                    " X replaced by means, Y and Yerr by weighted means.\n"
                    " Old number of data points   10, new number:    3\n");
    EXPECT_EQ(xs(), (std::vector<float>{2, 5, 8}));
    // The places beyond the new count keep the old points.
    EXPECT_EQ(s.data.X[3], 4.0F);
    EXPECT_EQ(s.data.Y[9], 100.0F);
    // First group: weights 1, 1/4, 1.
    EXPECT_FLOAT_EQ(s.data.Y[0], static_cast<float>((10 + 20 / 4.0 + 30) / 2.25));
    EXPECT_FLOAT_EQ(s.data.SIGMA[0], static_cast<float>(1 / 1.5));
    EXPECT_EQ(ys()[2], 80.0F);

    // Fewer points than one group: nothing is lost.
    EXPECT_NE(run("AVERAG/C", "4\n").find(" Too few data points for this!\n"), std::string::npos);
    EXPECT_EQ(s.data.count, 3);
    // A zero error bar counts as 1e-10 and carries the group.
    points({0, 2}, {1, 5}, {0, 1});
    EXPECT_NE(run("AVERAG/C 2").find(" Zero error bar at    1 error set to 1.0e-10\n"), std::string::npos);
    EXPECT_FLOAT_EQ(s.data.Y[0], 1.0F);
    EXPECT_FLOAT_EQ(s.data.SIGMA[0], 1e-10F);
}

TEST_F(AverageOrder, OrderIsStable) {
    points({3, 1, 3, 0, 1}, {1, 2, 3, 4, 5}, {10, 20, 30, 40, 50});
    EXPECT_EQ(run("ORDER"), "");
    EXPECT_EQ(xs(), (std::vector<float>{0, 1, 1, 3, 3}));
    EXPECT_EQ(ys(), (std::vector<float>{4, 2, 5, 1, 3}));
    EXPECT_EQ(es(), (std::vector<float>{40, 20, 50, 10, 30}));
}

TEST_F(AverageOrder, RegulSpacesXEvenly) {
    points({3, 0, 1}, {3, 1, 2}, {1, 1, 1});
    EXPECT_EQ(run("REGUL"), " Average channel width =    1.5000    \n    Midpoint of x-axis =    1.5000    \n");
    EXPECT_EQ(xs(), (std::vector<float>{0, 1.5, 3}));
    EXPECT_EQ(ys(), (std::vector<float>{1, 2, 3}));
    // An even count is centred on the midpoint: evenly spaced X stay.
    points({0, 1, 2, 3}, {1, 2, 3, 4}, {1, 1, 1, 1});
    run("REGUL");
    EXPECT_EQ(xs(), (std::vector<float>{0, 1, 2, 3}));
    points({2, 1}, {1, 2}, {1, 1});
    EXPECT_EQ(run("REGUL"), " Too few data points for this!\n\n");
    EXPECT_EQ(xs(), (std::vector<float>{1, 2})); // sorted all the same
}

} // namespace
} // namespace tarva
