// Plot symbols and error bars.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "graphics/symbols.h"

namespace tarva {
namespace {

constexpr float kK = 1.7F;

// Unit 5 along both axes at size 1 makes u = w = f (the shape factor).
SymbolFrame frame() {
    SymbolFrame f;
    f.unit_x = 5.0F;
    f.unit_y = 5.0F;
    f.xmin = 0.0F;
    f.xmax = 10.0F;
    f.ymin = 0.0F;
    f.ymax = 10.0F;
    return f;
}

Strokes symbol(int n, float err = 0.0F, ErrorBarStyle style = {}, float x = 5.0F, float y = 5.0F,
               SymbolFrame fr = frame()) {
    Strokes out;
    layout_symbol(fr, style, x, y, err, n, 1.0F, out);
    return out;
}

void expect_path(const Strokes& got, std::size_t from, const std::vector<std::pair<float, float>>& pts) {
    ASSERT_GE(got.size(), from + pts.size());
    for (std::size_t i = 0; i < pts.size(); ++i) {
        EXPECT_NEAR(got[from + i].x, pts[i].first, 1e-4) << i;
        EXPECT_NEAR(got[from + i].y, pts[i].second, 1e-4) << i;
        EXPECT_EQ(got[from + i].pen, i == 0 ? 3 : 2) << i;
    }
}

TEST(Symbols, NumberModuloEight) {
    EXPECT_EQ(symbol_shape(1), 1);
    EXPECT_EQ(symbol_shape(8), 8);
    EXPECT_EQ(symbol_shape(0), 8);
    EXPECT_EQ(symbol_shape(9), 1);
    EXPECT_EQ(symbol_shape(16), 8);
    EXPECT_EQ(symbol_shape(-1), 7);
}

TEST(Symbols, Outlines) {
    const Strokes sq = symbol(1);
    ASSERT_EQ(sq.size(), 5U);
    expect_path(sq, 0, {{4, 4}, {6, 4}, {6, 6}, {4, 6}, {4, 4}});

    const Strokes up = symbol(2);
    ASSERT_EQ(up.size(), 4U);
    expect_path(
        up, 0,
        {{5 - kK, 5 - 0.5774F * kK}, {5 + kK, 5 - 0.5774F * kK}, {5, 5 + 1.155F * kK}, {5 - kK, 5 - 0.5774F * kK}});

    const Strokes down = symbol(4);
    expect_path(
        down, 0,
        {{5 - kK, 5 + 0.5774F * kK}, {5, 5 - 1.155F * kK}, {5 + kK, 5 + 0.5774F * kK}, {5 - kK, 5 + 0.5774F * kK}});

    const Strokes diamond = symbol(6);
    expect_path(diamond, 0, {{5.793F, 5}, {5, 6.414F}, {4.207F, 5}, {5, 3.586F}, {5.793F, 5}});

    const Strokes cross = symbol(7);
    ASSERT_EQ(cross.size(), 4U);
    expect_path(cross, 0, {{4, 4}, {6, 6}});
    expect_path(cross, 2, {{4, 6}, {6, 4}});

    const Strokes dot = symbol(8);
    ASSERT_EQ(dot.size(), 2U);
    expect_path(dot, 0, {{5, 5}, {5, 5}});
}

TEST(Symbols, CircleIsAClosedPolygonOfRadiusTwoAndAHalfUnits) {
    // Shape factor 0.5: u = w = 0.5, radius 1.25.
    const Strokes c = symbol(3);
    ASSERT_GE(c.size(), 13U);
    EXPECT_EQ(c.front().pen, 3);
    EXPECT_NEAR(c.back().x, c.front().x, 1e-5);
    EXPECT_NEAR(c.back().y, c.front().y, 1e-5);
    for (const PenStep& p : c) EXPECT_NEAR(std::hypot(p.x - 5, p.y - 5), 1.25F, 1e-4);
}

TEST(Symbols, StarWithItsShapeFactor) {
    // f = 1.3: u = w = 1.3, outer radius k * 1.3.
    const Strokes s = symbol(5);
    ASSERT_EQ(s.size(), 11U);
    const float r = kK * 1.3F;
    EXPECT_NEAR(s[0].x, 5, 1e-5);
    EXPECT_NEAR(s[0].y, 5 + r, 1e-5);
    const float outer[][2] = {{0.9511F, 0.309F}, {0.5878F, -0.809F}, {-0.5878F, -0.809F}, {-0.9511F, 0.309F}};
    for (const auto& o : outer) {
        bool found = false;
        for (const PenStep& p : s)
            found = found || (std::fabs(p.x - (5 + o[0] * r)) < 1e-4F && std::fabs(p.y - (5 + o[1] * r)) < 1e-4F);
        EXPECT_TRUE(found) << o[0] << " " << o[1];
    }
    EXPECT_NEAR(s[5].y, 5 - 0.3819F * r, 1e-4);
}

TEST(Symbols, SizeAndUnitScale) {
    SymbolFrame f = frame();
    f.unit_x = 10.0F;
    f.unit_y = 2.5F;
    Strokes out;
    layout_symbol(f, {}, 0, 0, 0, 1, 3.0F, out);
    // u = 10 * 3 / 5 = 6, w = 2.5 * 3 / 5 = 1.5
    expect_path(out, 0, {{-6, -1.5F}, {6, -1.5F}, {6, 1.5F}, {-6, 1.5F}, {-6, -1.5F}});
}

TEST(ErrorBars, YBarStopsAtTheSymbolEdge) {
    const Strokes s = symbol(1, 2.0F);
    ASSERT_EQ(s.size(), 5U + 4U);
    expect_path(s, 5, {{5, 7}, {5, 6}});
    expect_path(s, 7, {{5, 4}, {5, 3}});
    // A bar shorter than the symbol draws nothing.
    EXPECT_EQ(symbol(1, 0.5F).size(), 5U);
    // Negligible errors draw nothing.
    EXPECT_EQ(symbol(1, 1e-11F).size(), 5U);
}

TEST(ErrorBars, EdgesOfEachShape) {
    const ErrorBarStyle plain;
    struct Case {
        int shape;
        float up, down; // in units of w (w = f at unit 5, size 1)
        float f;
    };
    const Case cases[] = {{2, 1.155F * kK, 0.5774F * kK, 1.0F},
                          {3, 2.494F, 2.494F, 0.5F},
                          {4, 0.5774F * kK, 1.155F, 1.0F},
                          {5, kK, 0.3819F * kK, 1.3F},
                          {6, 1.414F, 1.414F, 1.0F},
                          {7, 0, 0, 1.0F},
                          {8, 0, 0, 1.0F}};
    for (const Case& c : cases) {
        const Strokes s = symbol(c.shape, 4.5F, plain);
        ASSERT_GE(s.size(), 4U);
        const std::size_t n = s.size();
        expect_path(s, n - 4, {{5, 9.5F}, {5, 5 + c.up * c.f}});
        expect_path(s, n - 2, {{5, 5 - c.down * c.f}, {5, 0.5F}});
    }
}

TEST(ErrorBars, ThroughCrossbarsAndWindowLimits) {
    ErrorBarStyle er;
    er.through = true;
    const Strokes s = symbol(1, 2.0F, er);
    ASSERT_EQ(s.size(), 7U);
    expect_path(s, 5, {{5, 7}, {5, 3}});

    ErrorBarStyle h;
    h.crossbars = true;
    const Strokes c = symbol(1, 2.0F, h);
    ASSERT_EQ(c.size(), 13U);
    expect_path(c, 9, {{4, 7}, {6, 7}});
    expect_path(c, 11, {{4, 3}, {6, 3}});

    // Limited to the window.
    const Strokes big = symbol(1, 20.0F, er);
    expect_path(big, 5, {{5, 10}, {5, 0}});
    // A negative error counts by its size.
    const Strokes neg = symbol(1, -2.0F, er);
    expect_path(neg, 5, {{5, 7}, {5, 3}});
}

TEST(ErrorBars, LogarithmicY) {
    ErrorBarStyle lg;
    lg.log_y = true;
    lg.through = true;
    // y = 1 (value 10), error 5: from log10(15) to log10(5).
    const Strokes s = symbol(8, 5.0F, lg, 5.0F, 1.0F);
    ASSERT_EQ(s.size(), 4U);
    expect_path(s, 2, {{5, std::log10(15.0F)}, {5, std::log10(5.0F)}});
    // 10 - 20 is not above 1e-20: the lower end is the bottom of the window.
    const Strokes t = symbol(8, 20.0F, lg, 5.0F, 1.0F);
    expect_path(t, 2, {{5, std::log10(30.0F)}, {5, 0}});
}

TEST(ErrorBars, XErrors) {
    ErrorBarStyle z;
    z.x_errors = true;
    const Strokes s = symbol(2, 3.0F, z);
    ASSERT_EQ(s.size(), 8U);
    const float a = 1.155F * kK;
    expect_path(s, 4, {{8, 5}, {5 + a, 5}});
    expect_path(s, 6, {{5 - a, 5}, {2, 5}});
    // Left end not below xmin; crossbars vertical.
    z.crossbars = true;
    z.through = true;
    const Strokes t = symbol(1, 7.0F, z);
    expect_path(t, 5, {{10, 5}, {0, 5}});
    expect_path(t, 7, {{10, 4}, {10, 6}});
    expect_path(t, 9, {{0, 4}, {0, 6}});
    // Decades along X.
    ErrorBarStyle lx;
    lx.x_errors = true;
    lx.log_x = true;
    lx.through = true;
    const Strokes u = symbol(8, 50.0F, lx, 2.0F, 5.0F);
    expect_path(u, 2, {{std::log10(150.0F), 5}, {std::log10(50.0F), 5}});
}

} // namespace
} // namespace tarva
