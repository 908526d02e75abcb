// Axis steps, number texts and the geometry of frame, marks and numbers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "graphics/axes.h"
#include "graphics/text.h"

namespace tarva {
namespace {

TEST(AxisStep, ListedSpans) {
    EXPECT_DOUBLE_EQ(axis_step(10, 7, false), 1.0);
    EXPECT_DOUBLE_EQ(axis_step(100, 7, false), 10.0);
    EXPECT_NEAR(axis_step(1, 7, false), 0.1, 1e-12);
    // 3/1 < 7 gives 0.1; 30 - 3 > 7 doubles to 0.2, then 0.5 (6 - 3 = 3).
    EXPECT_NEAR(axis_step(3, 7, false), 0.5, 1e-12);
    // 1000 with 5 wanted: 100, then 200 (5 - 3 = 2).
    EXPECT_NEAR(axis_step(1000, 5, false), 200.0, 1e-9);
    // 50: 1 -> 2 -> 5 (10 - 3 = 7 is not above 7).
    EXPECT_NEAR(axis_step(50, 7, false), 5.0, 1e-12);
    // 1000 with 1 wanted: 1000, /10 is not needed, 1 - 3 < 1.
    EXPECT_NEAR(axis_step(1000, 1, false), 1000.0, 1e-9);
    // Sign of the span, n below 1 counts as 1, nothing for an empty span.
    EXPECT_NEAR(axis_step(-10, 7, false), -1.0, 1e-12);
    EXPECT_DOUBLE_EQ(axis_step(1000, 0, false), axis_step(1000, 1, false));
    EXPECT_EQ(axis_step(0, 7, false), 0.0);
    EXPECT_EQ(axis_step(std::nan(""), 7, false), 0.0);
    EXPECT_EQ(axis_step(INFINITY, 7, false), 0.0);
}

TEST(AxisStep, LogarithmicAxes) {
    EXPECT_DOUBLE_EQ(axis_step(5, 7, true), 1.0);
    EXPECT_DOUBLE_EQ(axis_step(20, 7, true), 1.0);
    EXPECT_DOUBLE_EQ(axis_step(0.5, 7, true), 1.0);
    // Beyond 20 decades the linear rule applies.
    EXPECT_DOUBLE_EQ(axis_step(50, 7, true), 5.0);
}

TEST(AxisValues, CandidatesWithinTheRange) {
    const std::vector<double> v = axis_values(0, 10, 1);
    ASSERT_EQ(v.size(), 11U);
    for (int i = 0; i <= 10; ++i) EXPECT_NEAR(v[static_cast<std::size_t>(i)], i, 1e-12);
    const std::vector<double> w = axis_values(-2.5, 2.5, 1);
    EXPECT_EQ(w, (std::vector<double>{-2, -1, 0, 1, 2}));
    // Single-precision limits keep their edge marks.
    const std::vector<double> f = axis_values(0.1F, 0.7F, 0.1);
    ASSERT_EQ(f.size(), 7U);
    EXPECT_NEAR(f.front(), 0.1, 1e-7);
    EXPECT_NEAR(f.back(), 0.7, 1e-7);
    // Zero comes out as zero, not as rounding noise.
    const std::vector<double> z = axis_values(-0.3, 0.3, 0.1);
    EXPECT_EQ(std::count(z.begin(), z.end(), 0.0), 1);
    // Only 201 candidates, first + (k - 1) * step for k = -100..100: from 0
    // they reach 99.
    const std::vector<double> many = axis_values(0, 1000, 1);
    ASSERT_EQ(many.size(), 100U);
    EXPECT_DOUBLE_EQ(many.back(), 99.0);
    EXPECT_TRUE(axis_values(0, 10, 0).empty());
}

TEST(AxisNumbers, AutomaticDigits) {
    EXPECT_EQ(automatic_digits(20), 0);
    EXPECT_EQ(automatic_digits(19.9), 1);
    EXPECT_EQ(automatic_digits(2), 1);
    EXPECT_EQ(automatic_digits(1), 2);
    EXPECT_EQ(automatic_digits(0.2), 2);
    EXPECT_EQ(automatic_digits(0.05), 3);
    EXPECT_EQ(automatic_digits(0.002), 4);
    EXPECT_EQ(automatic_digits(0.0005), 5);
    EXPECT_EQ(automatic_digits(0.0001), 6);
    EXPECT_EQ(automatic_digits(-50), 0);
}

TEST(AxisNumbers, XRowsAndDigits) {
    EXPECT_EQ(x_number_text(0, 1, -1), "       0  ");
    EXPECT_EQ(x_number_text(0, 1, 3), "       0  ");
    // Span 1: two digits.
    EXPECT_EQ(x_number_text(0.2, 1, -1), "    0.20  ");
    EXPECT_EQ(x_number_text(0.25, 1, 1), "    0.2   ");
    EXPECT_EQ(x_number_text(0.5, 1, 0), "    1     ");
    EXPECT_EQ(x_number_text(0.125, 1, 3), "    0.125 ");
    EXPECT_EQ(x_number_text(0.1234, 1, 4), "    0.1234");
    EXPECT_EQ(x_number_text(0.12345, 1, 5), "   0.12345");
    EXPECT_EQ(x_number_text(5, 10, -1), "   5.0    ");
    EXPECT_EQ(x_number_text(5, 100, -1), "    5     ");
    EXPECT_EQ(x_number_text(-5, 100, -1), "   -5     ");
    EXPECT_EQ(x_number_text(2.5, 1, 2), "   2.50   ");
    EXPECT_EQ(x_number_text(2.5, 1, 3), "   2.500  ");
    EXPECT_EQ(x_number_text(2.5, 1, 4), "   2.5000 ");
    EXPECT_EQ(x_number_text(2.5, 1, 5), "   2.50000");
    EXPECT_EQ(x_number_text(50, 100, -1), "   50     ");
    EXPECT_EQ(x_number_text(98, 100, 0), "   98     ");
    EXPECT_EQ(x_number_text(12.5, 10, 1), "  12.5    ");
    EXPECT_EQ(x_number_text(12.5, 10, 2), "  12.50   ");
    EXPECT_EQ(x_number_text(12.5, 10, 3), "  12.500  ");
    EXPECT_EQ(x_number_text(12.5, 10, 4), "  12.5000 ");
    EXPECT_EQ(x_number_text(12.5, 10, 5), "  12.50000");
    // abs(n) = 99 leaves the third row.
    EXPECT_EQ(x_number_text(99, 100, 0), "    99    ");
    EXPECT_EQ(x_number_text(500, 1000, -1), "   500    ");
    EXPECT_EQ(x_number_text(500, 1000, 1), "  500.0   ");
    EXPECT_EQ(x_number_text(500, 1000, 2), "  500.00  ");
    EXPECT_EQ(x_number_text(500, 1000, 3), "  500.000 ");
    EXPECT_EQ(x_number_text(500, 1000, 4), "  500.0000");
    EXPECT_EQ(x_number_text(123456, 1e6, -1), " 123456   ");
    EXPECT_EQ(x_number_text(12345, 1e6, 1), " 12345.0  ");
    EXPECT_EQ(x_number_text(12345, 1e6, 2), " 12345.00 ");
    EXPECT_EQ(x_number_text(12345, 1e6, 3), " 12345.000");
    EXPECT_EQ(x_number_text(2000000, 1e7, -1), " 2000000  ");
    EXPECT_EQ(x_number_text(2000000, 1e7, 1), "2000000.0 ");
    EXPECT_EQ(x_number_text(2000000, 1e7, 2), "2000000.00");
}

TEST(AxisNumbers, XExponentialForms) {
    EXPECT_EQ(x_number_text(2.5e7, 1e8, -1), " 2.5E+07  ");
    EXPECT_EQ(x_number_text(-3e8, 1e9, -1), "-3.0E+08  ");
    EXPECT_EQ(x_number_text(1e-3, 0.01, -1), " 1.0E-03  ");
    // Past the end of a row: the exponential form.
    EXPECT_EQ(x_number_text(500, 1000, 5), " 5.0E+02  ");
    EXPECT_EQ(x_number_text(12345, 1e6, 4), " 1.2E+04  ");
    EXPECT_EQ(x_number_text(2000000, 1e7, 3), " 2.0E+06  ");
    EXPECT_EQ(x_number_text(0.5, 0.0001, -1), " 5.0E-01  ");
    EXPECT_EQ(x_number_text(0.5, 1, 6), " 5.0E-01  ");
    // Rounding noise of a zero mark is written as 0.
    EXPECT_EQ(x_number_text(1e-12, 1, -1), "       0  ");
}

TEST(AxisNumbers, YForms) {
    EXPECT_EQ(y_number_text(0, 1, -1), "       0  ");
    EXPECT_EQ(y_number_text(0.2, 1, -1), "    0.20  ");
    EXPECT_EQ(y_number_text(5, 100, -1), "      5   ");
    EXPECT_EQ(y_number_text(-5, 100, -1), "     -5   ");
    EXPECT_EQ(y_number_text(5, 10, -1), "     5.0  ");
    EXPECT_EQ(y_number_text(5, 10, 3), "   5.000  ");
    EXPECT_EQ(y_number_text(0.12345, 1, 5), " 0.12345  ");
    EXPECT_EQ(y_number_text(2.5e7, 1e8, -1), " 2.5E+07  ");
    EXPECT_EQ(y_number_text(0.5, 1, 6), " 5.0E-01  ");
}

TEST(AxisNumbers, DecadeLabels) {
    EXPECT_EQ(decade_number_text(3), "    10\x1bU3 ");
    EXPECT_EQ(decade_number_text(0), "    10\x1bU0 ");
    EXPECT_EQ(decade_number_text(-2), "   10\x1bU-2 ");
    EXPECT_EQ(decade_number_text(12), "   10\x1bU12 ");
    EXPECT_EQ(decade_number_text(-50), "  10\x1bU-50 ");
    EXPECT_EQ(decade_number_text(1000), "10\x1bU  1000");
    EXPECT_EQ(decade_number_text(2.9999999), "    10\x1bU3 ");
}

TEST(AxisNumbers, FontPrefix) {
    EXPECT_EQ(number_font_prefix(0), "^0");
    for (int f : {1, 2, 6}) EXPECT_EQ(number_font_prefix(f), "^1");
    for (int f : {3, 4, 7}) EXPECT_EQ(number_font_prefix(f), "^3");
    EXPECT_EQ(number_font_prefix(5), "^5");
    EXPECT_EQ(number_font_prefix(8), "^0");
}

TEST(AxisSettingKeys, ValuesAndFlags) {
    AxisSettings a;
    EXPECT_TRUE(axis_setting(a, 'K', false, 2.5));
    EXPECT_FLOAT_EQ(a.mark_size, 2.5F);
    axis_setting(a, 'K', false, 1e-11);
    EXPECT_FLOAT_EQ(a.mark_size, 2.5F);
    axis_setting(a, 'G', false, 4);
    EXPECT_FLOAT_EQ(a.gradations, 4.0F);
    axis_setting(a, 'G', false, 0);
    axis_setting(a, 'G', false, -3);
    EXPECT_FLOAT_EQ(a.gradations, 4.0F);
    axis_setting(a, 'I', false, 2.5);
    EXPECT_EQ(a.x_digits, 3);
    axis_setting(a, 'J', false, -1.5);
    EXPECT_EQ(a.y_digits, -2);
    axis_setting(a, 'r', false, 0);
    axis_setting(a, 'U', false, 0);
    axis_setting(a, '5', false, 0);
    axis_setting(a, 'V', false, 0);
    axis_setting(a, 'W', false, 0);
    axis_setting(a, 'L', true, 0);
    axis_setting(a, 'X', true, 0);
    EXPECT_FALSE(a.right_marks);
    EXPECT_FALSE(a.upper_marks);
    EXPECT_FALSE(a.five_marks);
    EXPECT_FALSE(a.x_numbers);
    EXPECT_FALSE(a.y_numbers);
    EXPECT_TRUE(a.grid_lines);
    EXPECT_TRUE(a.log_x);
    EXPECT_FALSE(axis_setting(a, 'Q', true, 0));
}

TEST(Frame, BoxOnFilesAndOnTheTerminal) {
    Strokes q;
    layout_box('Q', 0, 10, -1, 1, q);
    ASSERT_EQ(q.size(), 5U);
    EXPECT_EQ(q[0].pen, 3);
    EXPECT_FLOAT_EQ(q[0].x, 0);
    EXPECT_FLOAT_EQ(q[0].y, -1);
    EXPECT_FLOAT_EQ(q[1].x, 10);
    EXPECT_FLOAT_EQ(q[2].y, 1);
    EXPECT_FLOAT_EQ(q[3].x, 0);
    EXPECT_FLOAT_EQ(q[4].y, -1);
    Strokes s;
    layout_box('S', 0, 10, -1, 1, s);
    ASSERT_EQ(s.size(), 6U);
    EXPECT_FLOAT_EQ(s[5].x, 0);
    EXPECT_FLOAT_EQ(s[5].y, 1);
    EXPECT_EQ(s[5].pen, 2);
}

// ---- geometry of marks and numbers ---------------------------------------

struct Segment {
    float x1, y1, x2, y2;
};

std::vector<Segment> segments(const Strokes& s) {
    std::vector<Segment> out;
    for (std::size_t i = 1; i < s.size(); ++i) {
        if (s[i].pen == 2) out.push_back({s[i - 1].x, s[i - 1].y, s[i].x, s[i].y});
    }
    return out;
}

int count_segment(const std::vector<Segment>& all, float x1, float y1, float x2, float y2) {
    int n = 0;
    for (const Segment& g : all) {
        if (std::fabs(g.x1 - x1) < 1e-4F && std::fabs(g.y1 - y1) < 1e-4F && std::fabs(g.x2 - x2) < 1e-4F &&
            std::fabs(g.y2 - y2) < 1e-4F) {
            ++n;
        }
    }
    return n;
}

// Settings and window of one test picture.
struct Picture {
    AxisSettings a;
    PlotWindow w;
};

Picture window(float xmin, float xmax, float ymin, float ymax) {
    Picture p;
    p.w = {xmin, xmax, ymin, ymax};
    return p;
}

TEST(AxesGeometry, LinearMarksOnAllFourSides) {
    Picture p = window(0, 10, 0, 100);
    p.a.x_numbers = p.a.y_numbers = false;
    Strokes out;
    // Plot unit (1, 2), size 1: numbers at 0.75, so ux = 0.75, uy = 1.5.
    layout_axes(p.a, p.w, 0, 1.0F, 2.0F, 7, 7, 1.0F, false, out);
    const std::vector<Segment> seg = segments(out);
    for (int i = 0; i <= 10; ++i) {
        const float v = static_cast<float>(i);
        EXPECT_EQ(count_segment(seg, v, 1.5F, v, 0), 1) << i;
        EXPECT_EQ(count_segment(seg, v, 98.5F, v, 100), 1) << i;
        const float y = 10.0F * v;
        EXPECT_EQ(count_segment(seg, 0.75F, y, 0, y), 1) << i;
        EXPECT_EQ(count_segment(seg, 9.25F, y, 10, y), 1) << i;
    }
    // Five minor divisions, half length, between the major marks only.
    for (int i = 0; i < 10; ++i) {
        for (int j = 1; j < 5; ++j) {
            const float m = static_cast<float>(i) + 0.2F * static_cast<float>(j);
            EXPECT_EQ(count_segment(seg, m, 0.75F, m, 0), 1) << m;
            EXPECT_EQ(count_segment(seg, m, 99.25F, m, 100), 1) << m;
            const float my = 10.0F * m;
            EXPECT_EQ(count_segment(seg, 0.375F, my, 0, my), 1) << my;
        }
    }
    EXPECT_EQ(seg.size(), static_cast<std::size_t>(2 * (11 * 2 + 10 * 4 * 2)));
}

TEST(AxesGeometry, GradationsRightAndUpperFlagsGridAndMarkSize) {
    Picture p = window(0, 10, 0, 100);
    p.a.x_numbers = p.a.y_numbers = false;
    p.a.five_marks = false;
    p.a.gradations = 2.4F; // rounds to 2
    p.a.right_marks = p.a.upper_marks = false;
    p.a.grid_lines = true;
    p.a.mark_size = 2.0F;
    Strokes out;
    layout_axes(p.a, p.w, 0, 1.0F, 2.0F, 7, 7, 1.0F, false, out);
    const std::vector<Segment> seg = segments(out);
    EXPECT_EQ(count_segment(seg, 3, 3.0F, 3, 0), 1);
    EXPECT_EQ(count_segment(seg, 3.5F, 1.5F, 3.5F, 0), 1);
    EXPECT_EQ(count_segment(seg, 3.2F, 0.75F, 3.2F, 0), 0);
    EXPECT_EQ(count_segment(seg, 3, 0, 3, 100), 1);
    EXPECT_EQ(count_segment(seg, 0, 30, 10, 30), 1);
    // Each grid line follows the minor marks of the interval it begins.
    auto index_of = [&](float x1, float y1, float x2, float y2) {
        for (std::size_t i = 0; i < seg.size(); ++i)
            if (count_segment({seg[i]}, x1, y1, x2, y2) == 1) return i;
        return seg.size();
    };
    EXPECT_LT(index_of(3.5F, 1.5F, 3.5F, 0), index_of(3, 0, 3, 100));
    EXPECT_LT(index_of(3, 0, 3, 100), index_of(4, 3.0F, 4, 0));
    // X: 11 majors + 10 minors + 11 grid; Y: the same.
    EXPECT_EQ(seg.size(), static_cast<std::size_t>(2 * (11 + 10 + 11)));
}

TEST(AxesGeometry, MinorMarksBeforeTheFirstMajorMark) {
    Picture p = window(0.5F, 10, 0, 100);
    p.a.x_numbers = p.a.y_numbers = false;
    p.a.upper_marks = p.a.right_marks = false;
    Strokes out;
    layout_axes(p.a, p.w, 0, 1.0F, 2.0F, 7, 7, 1.0F, false, out);
    const std::vector<Segment> seg = segments(out);
    EXPECT_EQ(count_segment(seg, 0.6F, 0.75F, 0.6F, 0), 1);
    EXPECT_EQ(count_segment(seg, 0.4F, 0.75F, 0.4F, 0), 0);
}

TEST(AxesGeometry, NumbersCentredBelowAndRightAlignedLeft) {
    Picture p = window(0, 10, 0, 100);
    p.a.upper_marks = p.a.right_marks = false;
    Strokes out;
    layout_axes(p.a, p.w, 0, 1.0F, 2.0F, 7, 7, 1.0F, false, out);
    // X number "5.0" (span 10: one digit) in font 0 with its prefix.
    const std::string five = "^05.0";
    const float w = layout_text(0, 0, 0, 1.0F, 2.0F, 0.75F, 0, five, nullptr);
    Strokes want;
    layout_text(0, 5 - w / 2, 0 - 1.8F * 1.5F, 1.0F, 2.0F, 0.75F, 0, five, &want);
    ASSERT_FALSE(want.empty());
    const auto it =
        std::search(out.begin(), out.end(), want.begin(), want.end(), [](const PenStep& p, const PenStep& q) {
            return std::fabs(p.x - q.x) < 1e-4F && std::fabs(p.y - q.y) < 1e-4F && p.pen == q.pen;
        });
    EXPECT_NE(it, out.end()) << "X number 5.0 not found where expected";
    // Y number "50" right-aligned at xmin - 0.5 ux, at v - 0.5 uy.
    const std::string fifty = "^050";
    const float wy = layout_text(0, 0, 0, 1.0F, 2.0F, 0.75F, 0, fifty, nullptr);
    Strokes want_y;
    layout_text(0, 0 - 0.5F * 0.75F - wy, 50 - 0.5F * 1.5F, 1.0F, 2.0F, 0.75F, 0, fifty, &want_y);
    const auto iy =
        std::search(out.begin(), out.end(), want_y.begin(), want_y.end(), [](const PenStep& p, const PenStep& q) {
            return std::fabs(p.x - q.x) < 1e-4F && std::fabs(p.y - q.y) < 1e-4F && p.pen == q.pen;
        });
    EXPECT_NE(iy, out.end()) << "Y number 50 not found where expected";
    // Font 3 as default: the numbers carry ^3.
    Strokes out3;
    layout_axes(p.a, p.w, 3, 1.0F, 2.0F, 7, 7, 1.0F, false, out3);
    Strokes want3;
    const float w3 = layout_text(3, 0, 0, 1.0F, 2.0F, 0.75F, 0, "^35.0", nullptr);
    layout_text(3, 5 - w3 / 2, -2.7F, 1.0F, 2.0F, 0.75F, 0, "^35.0", &want3);
    EXPECT_NE(std::search(out3.begin(), out3.end(), want3.begin(), want3.end(),
                          [](const PenStep& p, const PenStep& q) {
                              return std::fabs(p.x - q.x) < 1e-4F && std::fabs(p.y - q.y) < 1e-4F;
                          }),
              out3.end());
}

TEST(AxesGeometry, LogarithmicXAxisLabelsEveryDecade) {
    Picture p = window(-2, 3, 0, 1);
    p.a.log_x = true;
    p.a.upper_marks = p.a.right_marks = false;
    p.a.y_numbers = false;
    Strokes out;
    layout_axes(p.a, p.w, 0, 1.0F, 1.0F, 7, 7, 1.0F, false, out);
    const std::vector<Segment> seg = segments(out);
    for (int e = -2; e <= 3; ++e) {
        const float v = static_cast<float>(e);
        EXPECT_EQ(count_segment(seg, v, 0.75F, v, 0), 1) << e;
        const std::string label = "^010\x1bU" + std::to_string(e);
        const float w = layout_text(0, 0, 0, 1, 1, 0.75F, 0, label, nullptr);
        Strokes want;
        layout_text(0, v - w / 2, -1.8F * 1.1F * 0.75F, 1, 1, 0.75F, 0, label, &want);
        EXPECT_NE(std::search(out.begin(), out.end(), want.begin(), want.end(),
                              [](const PenStep& p, const PenStep& q) {
                                  return std::fabs(p.x - q.x) < 1e-4F && std::fabs(p.y - q.y) < 1e-4F;
                              }),
                  out.end())
            << "label of decade " << e;
    }
    // Minor marks at log10(2..9) in each of the five decades.
    for (int e = -2; e < 3; ++e) {
        for (int k = 2; k <= 9; ++k) {
            const float m = static_cast<float>(e + std::log10(k));
            EXPECT_EQ(count_segment(seg, m, 0.375F, m, 0), 1) << e << " " << k;
        }
    }
}

TEST(AxesGeometry, LogarithmicYAxis) {
    Picture p = window(0, 1, 1, 4);
    p.a.upper_marks = p.a.right_marks = false;
    p.a.x_numbers = p.a.y_numbers = false;
    Strokes out;
    layout_axes(p.a, p.w, 0, 1.0F, 1.0F, 7, 7, 1.0F, true, out);
    const std::vector<Segment> seg = segments(out);
    EXPECT_EQ(count_segment(seg, 0.75F, 2, 0, 2), 1);
    const float m = static_cast<float>(2 + std::log10(5.0));
    EXPECT_EQ(count_segment(seg, 0.375F, m, 0, m), 1);
}

TEST(AxesGeometry, DegenerateWindowsDrawNoMarks) {
    Picture p = window(5, 5, 0, 0);
    Strokes out;
    layout_axes(p.a, p.w, 0, 1.0F, 1.0F, 7, 7, 1.0F, false, out);
    EXPECT_TRUE(out.empty());
    Picture q = window(0, 1, 0, 1);
    q.a.gradations = 1e30F;
    q.a.five_marks = false;
    layout_axes(q.a, q.w, 0, 1.0F, 1.0F, 7, 7, 1.0F, false, out);
    EXPECT_LT(out.size(), 100000U);
    Picture r = window(std::nanf(""), 1, 0, INFINITY);
    layout_axes(r.a, r.w, 0, 1.0F, 1.0F, 7, 7, 1.0F, true, out);
}

} // namespace
} // namespace tarva
