// INTEG: the trapezoid areas with partial end pieces, limits beside the
// data, the function area, marker heights and the background drawn on the
// last picture.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>

#include "command_fixture.h"
#include "commands/graphics/draw/guide_line.h"
#include "dataset/integration.h"
#include "graphics/drivers/recording_driver.h"
#include "plot/plot.h"
#include "session/session.h"

namespace tarva {
namespace {

struct Integ : testing_support::PictureFixture {
    void points(std::initializer_list<std::array<float, 3>> p) {
        int i = 0;
        for (const auto& v : p) {
            s.data.X[i] = v[0];
            s.data.Y[i] = v[1];
            s.data.SIGMA[i] = v[2];
            ++i;
        }
        s.data.count = i;
    }
    void markers(double x1, double y1, double x2, double y2) {
        s.markers.x[0] = x1;
        s.markers.y[0] = y1;
        s.markers.x[1] = x2;
        s.markers.y[1] = y2;
    }
    // The number printed after `label` on the output line that holds it.
    double value_after(const std::string& text, const std::string& label) {
        const auto at = text.find(label);
        EXPECT_NE(at, std::string::npos) << label;
        return at == std::string::npos ? NAN : std::stod(text.substr(at + label.size()));
    }
};

TEST_F(Integ, TriangleAreaAndErrors) {
    points({{0, 0, 1}, {1, 1, 1}, {2, 0, 1}});
    const DataIntegral r = integrate_data(s.data, 0, 2);
    EXPECT_DOUBLE_EQ(r.area, 1.0);
    EXPECT_DOUBLE_EQ(r.error, std::sqrt(2.0));
    EXPECT_DOUBLE_EQ(r.sum, 1.0);
    EXPECT_DOUBLE_EQ(r.sum_error, std::sqrt(3.0));
}

TEST_F(Integ, PartialPiecesMatchTheInterpolatedLine) {
    // Y = 2X between points, SIGMA^2 = X: every piece is exact for a line.
    points({{0, 0, 0}, {1, 2, 1}, {3, 6, std::sqrt(3.0F)}, {4, 8, 2}});
    const auto exact = [](double a, double b) { return b * b - a * a; }; // integral of 2X
    // Both limits between the same two points: the overlap is taken off.
    DataIntegral r = integrate_data(s.data, 1.5, 2.5);
    EXPECT_NEAR(r.area, exact(1.5, 2.5), 1e-6);
    EXPECT_NEAR(r.error, std::sqrt(exact(1.5, 2.5) / 2), 1e-6);
    EXPECT_DOUBLE_EQ(r.sum, 0.0); // no point lies between them
    // Limits between points on both sides of a whole interval.
    r = integrate_data(s.data, 0.5, 3.5);
    EXPECT_NEAR(r.area, exact(0.5, 3.5), 1e-5);
    EXPECT_DOUBLE_EQ(r.sum, 8.0);
    // Limits beyond the data are cut at its ends.
    r = integrate_data(s.data, -5, 9);
    EXPECT_NEAR(r.area, exact(0, 4), 1e-5);
}

TEST_F(Integ, LimitsBesideTheDataGiveNothing) {
    points({{0, 1, 1}, {1, 1, 1}, {2, 1, 1}});
    for (auto [a, b] : {std::pair{-3.0, -2.0}, std::pair{3.0, 4.0}}) {
        const DataIntegral r = integrate_data(s.data, a, b);
        EXPECT_EQ(r.area, 0.0) << a;
        EXPECT_EQ(r.error, 0.0) << a;
        EXPECT_EQ(r.sum, 0.0) << a;
    }
}

TEST_F(Integ, NoDataAndTheWholeRangeReport) {
    EXPECT_EQ(run("INTEG"), " ? No data!\n");
    points({{0, 0, 1}, {1, 1, 1}, {2, 0, 1}});
    s.data.x_label = "E";
    s.data.y_label = "Counts";
    // Function 2 with Yo = 1, a = 0, k1 = 1: the right-hand sum of 1 + X.
    s.fit.function = 2;
    s.fit.nparams = 3;
    s.fit.value[0] = 1;
    s.fit.value[2] = 1;
    const std::string text = run("INTEG");
    EXPECT_EQ(text.rfind("\n Itegration limits:                     0.0000     TO     2.0000    \n"
                         " Area under data using a linear interpolation\n",
                         0),
              0U);
    EXPECT_DOUBLE_EQ(value_after(text, "between data points:"), 1.0);
    EXPECT_NEAR(value_after(text, "(using  250 steps):"), 4.008, 1e-4);
    EXPECT_NE(text.find(" (area units = E*Counts)\n\n Sum of Y values:    1.0000     +/-    1.7321     Counts\n\n\n"
                        " Use INTEG/M to integrate between markers 1 and 2.\n\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("background"), std::string::npos);
    // Step counts: rounded magnitude, at least one step.
    EXPECT_NEAR(value_after(run("INTEG 10"), "(using   10 steps):"), 4.2, 1e-6);
    EXPECT_NEAR(value_after(run("INTEG 0.2"), "(using    1 steps):"), 6.0, 1e-6);
}

TEST_F(Integ, MarkerHeightsFromTheNearestPoints) {
    points({{0, 5, 1}, {1, 7, 1}, {2, 9, 1}});
    markers(0.5, 100, 1.9, 100); // 0.5 is as near to X = 0 as to X = 1: the first wins
    const std::string text = run("INTEG/N");
    EXPECT_EQ(s.markers.y[0], 5.0);
    EXPECT_EQ(s.markers.y[1], 9.0);
    EXPECT_EQ(text.rfind(" Setting marker height to height of nearest data point.\n"
                         " Marker heights set to: ym1 =   5.0000     ym2 =   9.0000    \n"
                         " Integrating between markers 1 and 2\n",
                         0),
              0U);
    EXPECT_NE(text.find(" Marker 1 : x  0.50000      y   5.0000    \n"), std::string::npos);
    EXPECT_DOUBLE_EQ(value_after(text, "Area under background line:"), (5.0 + 9.0) * 1.4 / 2);
    EXPECT_NEAR(value_after(text, "(Area under data MINUS background):"),
                value_after(text, "between data points:") - 9.8, 1e-4);
}

TEST_F(Integ, BackgroundLineOnTheLastPicture) {
    points({{0, 1, 1}, {50, 1, 1}, {100, 1, 1}});
    markers(80, 8, 20, 2); // the line rises at 45 degrees on the square page
    run("INTEG/M");        // no picture yet: nothing drawn
    EXPECT_TRUE(rec.events.empty());
    picture();
    run("INTEG/M");
    auto v = rec.vectors();
    auto on_x = [&](float x) {
        return std::count_if(v.begin(), v.end(), [&](const RecordedVector& p) { return p.x == x && p.pen == 2; });
    };
    EXPECT_EQ(on_x(80.0F), 38); // 75 pieces, the odd ones drawn
    EXPECT_EQ(on_x(20.0F), 39); // and the end of the background line
    // The background line from marker 1 to marker 2 between the guide lines.
    const auto line = std::find(v.begin(), v.end(), RecordedVector{20, 2, 2});
    ASSERT_NE(line, v.end());
    EXPECT_EQ(*(line - 1), (RecordedVector{80, 8, 3}));
    // The label: its strokes run along the line (page units here are 1 in
    // X to 0.1 in Y), centred near the middle of the line.
    const auto last_guide = std::find_if(v.rbegin(), v.rend(), [](const RecordedVector& p) { return p.x == 20.0F; });
    const std::vector<RecordedVector> label(last_guide.base(), v.end());
    ASSERT_GT(label.size(), 10U);
    double along_lo = 1e9, along_hi = -1e9, across_lo = 1e9, across_hi = -1e9, mid = 0;
    for (const auto& p : label) {
        const double px = p.x - 50, py = (p.y - 5) * 10;
        along_lo = std::min(along_lo, (px + py) / std::sqrt(2.0));
        along_hi = std::max(along_hi, (px + py) / std::sqrt(2.0));
        across_lo = std::min(across_lo, (py - px) / std::sqrt(2.0));
        across_hi = std::max(across_hi, (py - px) / std::sqrt(2.0));
    }
    mid = (along_lo + along_hi) / 2;
    EXPECT_GT(along_hi - along_lo, 4 * (across_hi - across_lo));
    EXPECT_NEAR(mid, 0.0, 1.0);
    EXPECT_LT(across_hi, 0.0); // one line down: below the line
    EXPECT_EQ(rec.events.back().kind, RecordedEvent::End);

    // A marker outside the picture's X range has no guide line.
    rec.clear();
    markers(150, 2, 20, 2);
    run("INTEG/M");
    v = rec.vectors();
    EXPECT_EQ(on_x(150.0F), 0);
    EXPECT_EQ(on_x(20.0F), 39); // the guide line at marker 2 is still drawn
}

TEST_F(Integ, GuideLines) {
    EXPECT_FALSE(draw_guide_x(s, 50)); // no picture
    picture();
    EXPECT_FALSE(draw_guide_x(s, 101));
    EXPECT_FALSE(draw_guide_y(s, -0.5F));
    EXPECT_TRUE(rec.vectors().empty());
    ASSERT_TRUE(draw_guide_y(s, 10));
    const auto v = rec.vectors();
    ASSERT_EQ(v.size(), 100U); // pieces of 100, the last (a move) never sent
    EXPECT_EQ(std::count_if(v.begin(), v.end(), [](const RecordedVector& p) { return p.pen == 2; }), 50);
    EXPECT_EQ(v.front(), (RecordedVector{100, 10, 3}));
    EXPECT_EQ(v[1], (RecordedVector{99, 10, 2}));
    EXPECT_EQ(v.back(), (RecordedVector{1, 10, 2}));
}

} // namespace
} // namespace tarva
