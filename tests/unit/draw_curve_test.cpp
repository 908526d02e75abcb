// Geometry of the lines DRAW puts into a picture, through the recording
// driver: model curve (steps, box limits, G, EX, O, dash-space), connection
// lines, histograms, bar graphs and the dashed zero axes.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "commands/graphics/draw/curve.h"
#include "graphics/drivers/recording_driver.h"
#include "plot/plot.h"
#include "session/session.h"

namespace tarva {
namespace {

struct CurveSession {
    std::istringstream in;
    std::ostringstream out;
    Session s{in, out};
    RecordingDriver rec;
    PlotLimits box;

    CurveSession(float xmin, float xmax, float ymin, float ymax) : box{xmin, xmax, ymin, ymax} {
        s.graphics.recorder = &rec;
        float status = 0;
        begin_plot(s, s.graphics.aspect, 'U', xmin, xmax, ymin, ymax, status);
        rec.clear();
    }
    // y = a + b x through the polynomial function.
    void line_model(double a, double b) {
        s.fit.function = 2;
        s.fit.nparams = 3;
        s.fit.value[0] = a;
        s.fit.value[1] = 0.0;
        s.fit.value[2] = b;
    }
    void point(float x, float y, float sigma = 0.0f) {
        const auto k = static_cast<std::size_t>(s.data.count++);
        s.data.X[k] = x;
        s.data.Y[k] = y;
        s.data.SIGMA[k] = sigma;
    }
    std::vector<RecordedVector> draws() const {
        std::vector<RecordedVector> d;
        for (const auto& v : rec.vectors())
            if (v.pen == 2) d.push_back(v);
        return d;
    }
};

TEST(DrawCurve, StepsFromEdgeToEdgeOfTheBox) {
    CurveSession t(0.0f, 10.0f, -100.0f, 100.0f);
    t.line_model(1.0, 2.0);
    t.point(4.0f, 0.0f);
    t.point(6.0f, 0.0f);
    t.s.draw.curve_steps = 10;
    draw_model_curve(t.s, 'U', t.box);
    const auto v = t.rec.vectors();
    ASSERT_FALSE(v.empty());
    EXPECT_EQ(v.front(), (RecordedVector{0.0f, 1.0f, 3}));
    const auto d = t.draws();
    // x = 0, 1, ..., 10 (the first draw repeats the starting point).
    ASSERT_EQ(d.size(), 11u);
    for (std::size_t k = 0; k < d.size(); ++k) {
        EXPECT_FLOAT_EQ(d[k].x, static_cast<float>(k));
        EXPECT_FLOAT_EQ(d[k].y, 1.0f + 2.0f * static_cast<float>(k));
    }
    // A step of 0.1 is not exact in binary: the curve still reaches the
    // right edge, as the count of points is taken in single precision.
    CurveSession u(0.0f, 1.0f, -100.0f, 100.0f);
    u.line_model(1.0, 2.0);
    u.s.draw.curve_steps = 10;
    draw_model_curve(u.s, 'U', u.box);
    const auto e = u.draws();
    ASSERT_EQ(e.size(), 11u);
    EXPECT_NEAR(e.back().x, 1.0f, 1e-6f);
}

TEST(DrawCurve, DataRangeAndExtension) {
    CurveSession t(0.0f, 10.0f, -100.0f, 100.0f);
    t.line_model(0.0, 1.0);
    t.point(2.0f, 0.0f);
    t.point(6.0f, 0.0f);
    t.s.draw.flags.curve_to_edge = false;
    t.s.draw.curve_steps = 4;
    draw_model_curve(t.s, 'U', t.box);
    auto d = t.draws();
    ASSERT_EQ(d.size(), 5u);
    EXPECT_FLOAT_EQ(d.front().x, 2.0f);
    EXPECT_FLOAT_EQ(d.back().x, 6.0f);

    // EX with factor 0.5 widens by a quarter of the span on each side.
    t.rec.clear();
    t.s.draw.flags.extend = true;
    t.s.draw.extension = 0.5f;
    draw_model_curve(t.s, 'U', t.box);
    d = t.draws();
    ASSERT_EQ(d.size(), 5u);
    EXPECT_FLOAT_EQ(d.front().x, 1.0f);
    EXPECT_FLOAT_EQ(d.back().x, 7.0f);

    // The widened range stops at the box; a tiny factor counts as 0.1.
    t.rec.clear();
    t.s.draw.extension = 0.0f;
    t.s.data.X[1] = 10.0f;
    draw_model_curve(t.s, 'U', t.box);
    d = t.draws();
    EXPECT_FLOAT_EQ(d.front().x, 1.6f);
    EXPECT_FLOAT_EQ(d.back().x, 10.0f);

    // No curve when the range is empty.
    t.rec.clear();
    t.s.data.X[1] = 2.0f;
    t.s.draw.flags.extend = false;
    draw_model_curve(t.s, 'U', t.box);
    EXPECT_TRUE(t.rec.vectors().empty());
}

TEST(DrawCurve, PointsOutsideTheBoxAreReachedPenUp) {
    CurveSession t(0.0f, 10.0f, 0.0f, 5.0f);
    t.line_model(0.0, 1.0);
    t.s.draw.curve_steps = 10;
    draw_model_curve(t.s, 'U', t.box);
    const auto d = t.draws();
    ASSERT_FALSE(d.empty());
    for (const auto& v : t.rec.vectors()) {
        EXPECT_LE(v.y, 5.0f);
        EXPECT_GE(v.y, 0.0f);
    }
    EXPECT_FLOAT_EQ(d.back().x, 5.0f);
    // A model that is not a number anywhere draws nothing at all.
    CurveSession u(1.0f, 10.0f, -5.0f, 5.0f);
    u.s.fit.function = 24; // A + B*sqrt(|x + xo|), made infinite below
    u.s.fit.nparams = 3;
    u.s.fit.value[1] = 1e308;
    u.s.fit.value[2] = 1e308;
    draw_model_curve(u.s, 'U', u.box);
    EXPECT_TRUE(u.draws().empty());
}

TEST(DrawCurve, ForcedEvaluationAtDataPoints) {
    CurveSession t(0.0f, 4.0f, -100.0f, 100.0f);
    t.line_model(0.0, 3.0);
    t.point(2.5f, 0.0f);
    t.point(2.7f, 0.0f); // same step: only the first in data order
    t.point(1.0f, 0.0f); // on a step boundary: not strictly inside
    t.s.draw.curve_steps = 4;
    t.s.draw.flags.force_points = true;
    draw_model_curve(t.s, 'U', t.box);
    const auto d = t.draws();
    ASSERT_EQ(d.size(), 6u);
    // x = 0 (the start again), 1, 2, then the data point 2.5, then 3, 4.
    EXPECT_FLOAT_EQ(d[2].x, 2.0f);
    EXPECT_FLOAT_EQ(d[3].x, 2.5f);
    EXPECT_FLOAT_EQ(d[3].y, 7.5f);
    EXPECT_FLOAT_EQ(d[4].x, 3.0f);
}

TEST(DrawCurve, DashSpaceLines) {
    CurveSession t(0.0f, 100.0f, 0.0f, 100.0f);
    t.s.graphics.aspect = 1.0f; // one plot unit is 2.25 along both axes
    t.line_model(50.0, 0.0);
    t.s.draw.curve_steps = 100; // steps of 1, each 1/2.25 plot unit
    t.s.draw.dash = 1.0f;
    t.s.draw.space = 2.0f;
    draw_model_curve(t.s, 'U', t.box);
    // Each step is 1/2.25 plot unit. The dash passes 1 unit at x = 3 (drawn,
    // 1.33 units); the space passes 2 units at x = 8 (moved, 2.22 units);
    // drawing starts again at x = 9 and the next dash ends at 11.
    const auto d = t.draws();
    ASSERT_GE(d.size(), 6u);
    EXPECT_FLOAT_EQ(d[0].x, 0.0f); // the start again, length 0
    EXPECT_FLOAT_EQ(d[3].x, 3.0f);
    EXPECT_FLOAT_EQ(d[4].x, 9.0f);
    EXPECT_FLOAT_EQ(d[6].x, 11.0f); // the second dash: 9, 10, 11
    EXPECT_FLOAT_EQ(d[7].x, 17.0f);
    // Without a space length the gaps are as long as the dashes.
    CurveSession u(0.0f, 100.0f, 0.0f, 100.0f);
    u.s.graphics.aspect = 1.0f;
    u.line_model(50.0, 0.0);
    u.s.draw.curve_steps = 100;
    u.s.draw.dash = 1.0f;
    draw_model_curve(u.s, 'U', u.box);
    const auto e = u.draws();
    ASSERT_GE(e.size(), 5u);
    EXPECT_FLOAT_EQ(e[3].x, 3.0f);
    EXPECT_FLOAT_EQ(e[4].x, 7.0f);
}

TEST(DrawCurve, ConnectionLinesLiftThePen) {
    CurveSession t(0.0f, 10.0f, 0.0f, 10.0f);
    t.s.fit.function = 9;
    t.point(1.0f, 1.0f);
    t.point(2.0f, 2.0f);
    t.point(3.0f, 3.0f, 3.0f); // starts a new piece
    t.point(4.0f, 20.0f);      // outside: on the edge, pen up
    t.point(5.0f, 5.0f);
    draw_function_line(t.s, 'U', t.box);
    const std::vector<RecordedVector> want{{1, 1, 3}, {2, 2, 2}, {4, 10, 3}, {5, 5, 2}};
    EXPECT_EQ(t.rec.vectors(), want);
    // J: points outside are joined as they are.
    t.rec.clear();
    t.s.draw.flags.jump_out = true;
    draw_function_line(t.s, 'U', t.box);
    const std::vector<RecordedVector> jumped{{1, 1, 3}, {2, 2, 2}, {3, 3, 3}, {4, 20, 2}, {5, 5, 2}};
    EXPECT_EQ(t.rec.vectors(), jumped);
}

TEST(DrawCurve, HistogramAndBarGraph) {
    CurveSession t(0.0f, 3.2f, 0.0f, 2.5f);
    t.s.fit.function = 12;
    t.point(1.0f, 1.0f);
    t.point(2.0f, 2.0f);
    t.point(3.0f, 3.0f); // above the box: clamped
    draw_function_line(t.s, 'U', t.box);
    const std::vector<RecordedVector> steps{{0.5f, 1, 3}, {1.5f, 1, 2},    {1.5f, 2, 2},
                                            {2.5f, 2, 2}, {2.5f, 2.5f, 2}, {3.2f, 2.5f, 2}};
    EXPECT_EQ(t.rec.vectors(), steps);
    t.rec.clear();
    t.s.fit.function = 13;
    t.s.data.count = 2;
    draw_function_line(t.s, 'U', t.box);
    const std::vector<RecordedVector> bars{{0.5f, 0, 3}, {0.5f, 1, 2}, {1.5f, 1, 2}, {1.5f, 0, 2},
                                           {1.5f, 0, 3}, {1.5f, 2, 2}, {2.5f, 2, 2}, {2.5f, 0, 2}};
    EXPECT_EQ(t.rec.vectors(), bars);
    // Function 5 draws no line.
    t.rec.clear();
    t.s.fit.function = 5;
    draw_function_line(t.s, 'U', t.box);
    EXPECT_TRUE(t.rec.vectors().empty());
}

TEST(DrawCurve, DashedZeroAxes) {
    CurveSession t(-1.0f, 3.0f, -2.0f, 5.0f);
    draw_zero_axes(t.s, 'U', t.box);
    const auto v = t.rec.vectors();
    int vertical = 0, horizontal = 0;
    for (const auto& p : v) {
        if (p.pen != 2) continue;
        if (p.x == 0.0f && p.y != 0.0f) ++vertical;
        if (p.y == 0.0f) ++horizontal;
    }
    EXPECT_EQ(vertical, 38);   // 75 pieces, every other one drawn
    EXPECT_EQ(horizontal, 50); // 100 pieces
    // Zero outside the box: no line; zero at the right or top edge neither.
    CurveSession u(1.0f, 3.0f, -5.0f, 0.0f);
    draw_zero_axes(u.s, 'U', u.box);
    EXPECT_TRUE(u.rec.vectors().empty());
}

} // namespace
} // namespace tarva
