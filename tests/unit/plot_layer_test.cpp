// The device layer: pen memory, thick lines, plot unit, device dispatch and
// the picture bracket, seen through the recording driver.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>

#include "graphics/drivers/device_table.h"
#include "graphics/drivers/recording_driver.h"
#include "plot/device.h"
#include "plot/plot.h"
#include "session/session.h"

namespace tarva {
namespace {

struct Layer : ::testing::Test {
    std::istringstream in;
    std::ostringstream out;
    Session s{in, out};
    RecordingDriver rec;
    void SetUp() override { s.graphics.recorder = &rec; }
    void begin(float aspect, float x0, float x1, float y0, float y1, char device = 'U') {
        float status = -1;
        begin_plot(s, aspect, device, x0, x1, y0, y1, status);
        EXPECT_EQ(status, 0.0f);
    }
};

TEST_F(Layer, RunOfMovesEmitsOnlyTheLastBeforeADraw) {
    begin(1.0f, 0, 10, 0, 10);
    plot_pen(s, 'U', 1, 1, 3);
    plot_pen(s, 'U', 2, 2, 3);
    plot_pen(s, 'U', 3, 3, 3);
    plot_pen(s, 'U', 4, 5, 2);
    std::vector<RecordedVector> want{{3, 3, 3}, {4, 5, 2}};
    EXPECT_EQ(rec.vectors(), want);
    // A draw after a draw continues without a move.
    plot_pen(s, 'U', 6, 7, 2);
    want.push_back({6, 7, 2});
    EXPECT_EQ(rec.vectors(), want);
    // Moves at the end of a picture never reach the device.
    plot_pen(s, 'U', 9, 9, 3);
    EXPECT_EQ(rec.vectors(), want);
}

TEST_F(Layer, FirstDrawWithoutAMoveStartsFromTheRememberedPoint) {
    begin(1.0f, 0, 10, 0, 10);
    plot_pen(s, 'U', 4, 4, 2);
    ASSERT_EQ(rec.vectors().size(), 1u);
    EXPECT_EQ(rec.vectors()[0], (RecordedVector{4, 4, 2}));
}

TEST_F(Layer, CodesBeyondThreeDigitsAreNoPenCodes) {
    begin(1.0f, 0, 10, 0, 10, 'S');
    s.graphics.line_style = 4; // the terminal adds 40 to the code
    plot_pen(s, 'S', 1, 1, 3);
    plot_pen(s, 'S', 2, 2, std::numeric_limits<int>::max());
    plot_pen(s, 'S', 2, 2, -1000);
    device_vector(s, 'S', 3, 3, std::numeric_limits<int>::max());
    device_vector(s, 'S', 3, 3, std::numeric_limits<int>::min());
    EXPECT_TRUE(rec.vectors().empty());
    EXPECT_EQ(s.graphics.pen_code, 3);
    EXPECT_EQ(s.graphics.pen_x, 1.0f);
    // The largest codes are still pen codes: plot_pen draws (the pending
    // move first), device_vector hands them on with the line style (the
    // terminal adds its offset itself).
    plot_pen(s, 'S', 4, 4, 999);
    device_vector(s, 'S', 5, 5, -999);
    ASSERT_EQ(rec.events.size(), 4u);
    EXPECT_EQ(rec.events[1].pen, 3);
    EXPECT_EQ(rec.events[2].pen, 2);
    EXPECT_EQ(rec.events[3].pen, -999);
    for (int i = 1; i <= 3; ++i) EXPECT_EQ(rec.events[static_cast<std::size_t>(i)].line_style, 4);
}

TEST_F(Layer, PlotUnitFollowsTheAspectRatio) {
    float ux = 0, uy = 0;
    begin(0.5f, 0, 100, 0, 10);
    plot_unit_size(s, ux, uy);
    EXPECT_FLOAT_EQ(ux, 4.5f);
    EXPECT_FLOAT_EQ(uy, 0.225f);
    begin(2.0f, 0, 100, 0, 10);
    plot_unit_size(s, ux, uy);
    EXPECT_FLOAT_EQ(ux, 2.25f);
    EXPECT_FLOAT_EQ(uy, 0.45f);
}

TEST_F(Layer, BeginStoresWindowSpansAndMargin) {
    begin(1.5f, -2, 8, 1, 5);
    EXPECT_EQ(s.graphics.xmin, -2.0f);
    EXPECT_EQ(s.graphics.xmax, 8.0f);
    EXPECT_EQ(s.graphics.xspan, 10.0f);
    EXPECT_EQ(s.graphics.yspan, 4.0f);
    EXPECT_FLOAT_EQ(s.graphics.left_margin, -2.5f);
    EXPECT_EQ(s.graphics.aspect, 1.5f);
    end_plot(s, 'U');
    EXPECT_EQ(rec.count(RecordedEvent::Begin), 1);
    EXPECT_EQ(rec.count(RecordedEvent::End), 1);
}

TEST_F(Layer, ThickHorizontalSegmentAddsExtendedPairs) {
    // Square plot over 0..100: one plot unit is 2.25 along both axes.
    begin(1.0f, 0, 100, 0, 100);
    set_line_thickness(s.graphics, 2, 0.5f);
    plot_pen(s, 'U', 10, 50, 3);
    plot_pen(s, 'U', 60, 50, 2);
    const float d1 = 2.25f * 0.5f, d2 = 2.0f * d1; // 0.5 and 1.0 plot units
    const float ext = d2;                          // 1.0 plot unit beyond both ends
    std::vector<RecordedVector> want{
        {10, 50, 3},
        {60, 50, 2},
        {10 - ext, 50 - d1, 3},
        {60 + ext, 50 - d1, 2},
        {60 + ext, 50 + d1, 3},
        {10 - ext, 50 + d1, 2},
        {10 - ext, 50 - d2, 3},
        {60 + ext, 50 - d2, 2},
        {60 + ext, 50 + d2, 3},
        {10 - ext, 50 + d2, 2},
        {60, 50, 3},
    };
    auto got = rec.vectors();
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        EXPECT_FLOAT_EQ(got[i].x, want[i].x) << i;
        EXPECT_FLOAT_EQ(got[i].y, want[i].y) << i;
        EXPECT_EQ(got[i].pen, want[i].pen) << i;
    }
}

TEST_F(Layer, ThickVerticalAndLeftwardSegments) {
    begin(1.0f, 0, 100, 0, 100);
    set_line_thickness(s.graphics, 1, 1.0f);
    const float u = 2.25f;
    // Downward vertical: extended beyond both ends along the travel direction.
    plot_pen(s, 'U', 20, 80, 3);
    plot_pen(s, 'U', 20, 30, 2);
    auto v = rec.vectors();
    ASSERT_EQ(v.size(), 7u);
    EXPECT_EQ(v[2], (RecordedVector{20 + u, 80 + u, 3}));
    EXPECT_EQ(v[3], (RecordedVector{20 + u, 30 - u, 2}));
    EXPECT_EQ(v[4], (RecordedVector{20 - u, 30 - u, 3}));
    EXPECT_EQ(v[5], (RecordedVector{20 - u, 80 + u, 2}));
    EXPECT_EQ(v[6], (RecordedVector{20, 30, 3}));
    // Leftward horizontal.
    rec.clear();
    plot_pen(s, 'U', 5, 30, 2);
    v = rec.vectors();
    ASSERT_EQ(v.size(), 6u);
    EXPECT_EQ(v[1], (RecordedVector{20 + u, 30 - u, 3}));
    EXPECT_EQ(v[2], (RecordedVector{5 - u, 30 - u, 2}));
}

TEST_F(Layer, ThickSlantedSegmentUsesTheNormal) {
    begin(1.0f, 0, 100, 0, 100);
    set_line_thickness(s.graphics, 1, 1.0f);
    plot_pen(s, 'U', 0, 0, 3);
    plot_pen(s, 'U', 30, 40, 2); // sin = 0.8, cos = 0.6
    auto v = rec.vectors();
    ASSERT_EQ(v.size(), 7u);
    const float c = 2.25f;
    EXPECT_NEAR(v[2].x, c * 0.8f, 1e-5);
    EXPECT_NEAR(v[2].y, -c * 0.6f, 1e-5);
    EXPECT_NEAR(v[3].x, 30 + c * 0.8f, 1e-4);
    EXPECT_NEAR(v[3].y, 40 - c * 0.6f, 1e-4);
    EXPECT_NEAR(v[4].x, 30 - c * 0.8f, 1e-4);
    EXPECT_NEAR(v[5].y, c * 0.6f, 1e-5);
    // The strokes beside the line are parallel to it.
    EXPECT_NEAR((v[3].y - v[2].y) / (v[3].x - v[2].x), 40.0 / 30.0, 1e-4);
}

TEST_F(Layer, ThicknessCountIsLimitedAndTinyOffsetDrawsSingle) {
    set_line_thickness(s.graphics, 15, 0.2f);
    EXPECT_EQ(s.graphics.thick_count, 10);
    set_line_thickness(s.graphics, -3, 0.2f);
    EXPECT_EQ(s.graphics.thick_count, 0);
    begin(1.0f, 0, 10, 0, 10);
    set_line_thickness(s.graphics, 3, 1e-12f);
    plot_pen(s, 'U', 1, 1, 3);
    plot_pen(s, 'U', 2, 2, 2);
    EXPECT_EQ(rec.vectors().size(), 2u);
}

TEST_F(Layer, OneCaseRuleForEveryDeviceOperation) {
    // Codes reach the drivers in upper case, a blank as the terminal; the
    // vector carries DRAW's line style (the terminal turns it into its own
    // line style, tested with the Tektronix driver).
    begin(1.0f, 0, 10, 0, 10, 'q');
    s.graphics.line_style = 4;
    device_vector(s, 'q', 1, 1, 2);
    device_vector(s, ' ', 1, 1, 2);
    device_vector(s, 'u', 1, 1, 3);
    end_plot(s, 'h');
    ASSERT_EQ(rec.events.size(), 5u);
    std::string codes;
    for (const auto& e : rec.events) codes += e.device;
    EXPECT_EQ(codes, "QQSUH");
    EXPECT_EQ(rec.events[1].line_style, 4);
    EXPECT_EQ(device_code('o'), 'O');
    EXPECT_EQ(device_code(' '), 'S');
    EXPECT_EQ(&device_row('z'), &device_row('S'));
    EXPECT_NE(&device_row('h'), &device_row('S'));
}

TEST(LayerDevices, NoOutputAndNotAvailableDevices) {
    std::istringstream in;
    std::ostringstream out;
    Session s{in, out};
    float status = 5;
    begin_plot(s, 1.0f, 'U', 0, 1, 0, 1, status);
    EXPECT_EQ(status, 0.0f);
    plot_pen(s, 'U', 0.5f, 0.5f, 2);
    end_plot(s, 'U');
    EXPECT_EQ(out.str(), "");
    begin_plot(s, 1.0f, 'O', 0, 1, 0, 1, status);
    begin_plot(s, 1.0f, 'O', 0, 1, 0, 1, status);
    EXPECT_EQ(out.str(), " Not implemented at Elmton.\n Not implemented at Elmton.\n");
    char key = 'x';
    float x = 1, y = 1;
    cross_hair(s, 'Q', key, x, y);
    EXPECT_EQ(key, 'Q');
    EXPECT_EQ(x, 0.0f);
    EXPECT_EQ(y, 0.0f);
    EXPECT_NE(out.str().find(" Cross hair mode is not supported by this device.\n"), std::string::npos);
    key = 'k';
    x = 3;
    cross_hair(s, 'U', key, x, y);
    EXPECT_EQ(key, 'k');
    EXPECT_EQ(x, 3.0f);
}

} // namespace
} // namespace tarva
