// The print style of device X and the terminal pictures, through the
// recording driver standing in for a print-styled device: dense data as a
// line and a shaded band, the curve drawn after the data, the residual
// panel, labels placed apart; and the other devices' strokes unchanged.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <span>
#include <vector>

#include "command_fixture.h"
#include "graphics/annotation_layout.h"
#include "graphics/data_band.h"

namespace tarva {
namespace {

TEST(DataBand, DenseRuleLineAndBand) {
    // y = 9 - x at x = 9, 8, ..., 0 (given backwards), error 0.5.
    std::vector<BandPoint> pts;
    for (int i = 0; i < 10; ++i) pts.push_back({static_cast<float>(9 - i), static_cast<float>(i), 0.5f});
    EXPECT_TRUE(denser_than_symbols(pts, 1.5f)); // neighbours 1 apart
    EXPECT_FALSE(denser_than_symbols(pts, 0.5f));
    EXPECT_FALSE(denser_than_symbols(std::span(pts).first(2), 100.0f)); // two points are never dense

    // Window Y 0..8: the point at x = 0 (y = 9) is outside.
    const BandLayout b = layout_band(pts, SymbolFrame{1, 1, 0, 9, 0, 8}, false);
    ASSERT_EQ(b.line.size(), 10u);
    EXPECT_EQ(b.line[0].x, 0.0f);
    EXPECT_EQ(b.line[0].y, 8.0f); // limited to the window, pen up
    EXPECT_EQ(b.line[0].pen, 3);
    EXPECT_EQ(b.line[1].pen, 3); // coming from outside: pen up
    EXPECT_EQ(b.line[2].pen, 2);
    EXPECT_EQ(b.line[9].x, 9.0f);
    // One outline: the upper ends forwards, the lower ends back.
    ASSERT_EQ(b.areas.size(), 1u);
    const auto& area = b.areas[0];
    ASSERT_EQ(area.size(), 20u);
    EXPECT_EQ(area[0], (std::pair{0.0f, 8.0f})); // 8 + 0.5 limited to the window
    EXPECT_EQ(area[9], (std::pair{9.0f, 0.5f}));
    EXPECT_EQ(area[10], (std::pair{9.0f, 0.0f})); // 0 - 0.5 limited
    EXPECT_EQ(area[19], (std::pair{0.0f, 7.5f}));
}

bool apart(const LabelBox& a, const LabelBox& b) {
    return a.x + a.width <= b.x || b.x + b.width <= a.x || a.y + a.height <= b.y || b.y + b.height <= a.y;
}

TEST(LabelPlacement, LabelsMovePastTheOnesInTheWayAndKeepTheirX) {
    const std::vector<LabelBox> taken{{0, 0, 10, 2}};
    const std::vector<LabelBox> wanted{{5, 1, 10, 2}, {30, 1, 5, 2}, {8, 0.5f, 4, 2}};
    for (const bool up : {true, false}) {
        const std::vector<LabelBox> got = place_labels(wanted, taken, 0.5f, up);
        ASSERT_EQ(got.size(), wanted.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].x, wanted[i].x);
            EXPECT_TRUE(apart(got[i], taken[0])) << i;
            for (std::size_t j = 0; j < i; ++j) EXPECT_TRUE(apart(got[i], got[j])) << i << " " << j;
        }
        EXPECT_EQ(got[1].y, 1.0f); // nothing in its way: where it was wanted
        if (up) {
            EXPECT_NEAR(got[0].y, 2.5f, 1e-3f);
            EXPECT_NEAR(got[2].y, 5.0f, 1e-3f); // past the taken label, then past the first
        } else {
            EXPECT_LT(got[0].y, -2.0f);
        }
    }
}

// 200 points on y = 1 + 2x, each two SIGMA above it, drawn by DRAW on a
// recorder that draws like device X.
struct PrintStyle : testing_support::CommandFixture {
    RecordingDriver rec;
    void SetUp() override {
        for (int i = 0; i < 200; ++i) {
            const float x = 0.125f * static_cast<float>(i); // exact in binary: residuals exactly 2
            add_point(x, 1.0f + 2.0f * x + 1.0f, 0.5f);
        }
        s.fit.function = 2;
        s.fit.nparams = 3;
        s.fit.value[0] = 1.0;
        s.fit.value[1] = 0.0;
        s.fit.value[2] = 2.0;
        s.graphics.recorder = &rec;
        s.draw.flags.name = false; // no legend sample
    }
    std::vector<RecordedEvent> draw(bool print_device) {
        rec.print_device = print_device;
        rec.clear();
        run("draw/x");
        return rec.events;
    }
    static long count(const std::vector<RecordedEvent>& ev, auto pred) {
        return std::count_if(ev.begin(), ev.end(), pred);
    }
};

TEST_F(PrintStyle, DenseDataBecomeALineAndABandUnderTheCurve) {
    const auto ev = draw(true);
    const auto shade = std::find_if(ev.begin(), ev.end(), [](const auto& e) { return e.kind == RecordedEvent::Shade; });
    ASSERT_NE(shade, ev.end());
    EXPECT_EQ(shade->role, StrokeRole::Data);
    EXPECT_EQ(shade->pen, 400); // one outline: 200 upper and 200 lower ends
    // A line through the points (no symbols: 199 draws), then the curve.
    const auto is_data = [](const RecordedEvent& e) {
        return e.kind == RecordedEvent::Vector && e.role == StrokeRole::Data && e.pen == 2;
    };
    EXPECT_EQ(count(ev, is_data), 199);
    const auto last_data = std::find_if(ev.rbegin(), ev.rend(), is_data);
    const auto first_curve =
        std::find_if(ev.begin(), ev.end(), [](const auto& e) { return e.role == StrokeRole::Curve; });
    ASSERT_NE(first_curve, ev.end());
    EXPECT_LE(last_data.base() - ev.begin(), first_curve - ev.begin());
}

TEST_F(PrintStyle, OtherDevicesAndStyleOffDrawAsBefore) {
    const auto postscript = draw(false);
    EXPECT_EQ(count(postscript, [](const auto& e) { return e.kind == RecordedEvent::Shade; }), 0);
    run("draw/d cp");
    const auto off = draw(true);
    ASSERT_EQ(off.size(), postscript.size());
    for (std::size_t i = 0; i < off.size(); ++i) {
        EXPECT_EQ(off[i].x, postscript[i].x) << i;
        EXPECT_EQ(off[i].y, postscript[i].y) << i;
        EXPECT_EQ(off[i].pen, postscript[i].pen) << i;
    }
    // The residual panel is for print-styled devices only.
    run("draw/e cr");
    EXPECT_EQ(draw(false).size(), postscript.size());
}

TEST_F(PrintStyle, ResidualPanelShowsEachPointsResidual) {
    const auto at_two = [](const RecordedEvent& e) {
        return e.kind == RecordedEvent::Vector && e.role == StrokeRole::Data && e.pen == 2 && e.y == 2.0f;
    };
    EXPECT_LE(count(draw(true), at_two), 1); // y = 2 only at x = 0 on the picture
    EXPECT_THAT(run("draw/e cr"), ::testing::HasSubstr("Residual panel enabled."));
    const auto ev = draw(true);
    EXPECT_GE(count(ev, at_two), 199); // every residual is 2: a line at 2 in the panel
    // Its frame spans the residuals symmetrically, a tenth wider.
    const auto in_panel = [](const RecordedEvent& e) { return e.kind == RecordedEvent::Vector && e.y == -2.2f; };
    EXPECT_GT(count(ev, in_panel), 0);
    EXPECT_EQ(s.graphics.panel_low, 0.32f); // annotations go on the picture above
}

} // namespace
} // namespace tarva
