// Text, frame, axes and symbols drawn through the device layer of a session
// (recording driver): plot unit, window, default font and DRAW flags.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "command_fixture.h"
#include "commands/graphics/draw/apply_settings.h"
#include "graphics/axes.h"
#include "graphics/drivers/recording_driver.h"
#include "graphics/symbols.h"
#include "graphics/text.h"
#include "plot/drawing.h"
#include "plot/plot.h"
#include "session/session.h"

namespace tarva {
namespace {

struct Figures : testing_support::CommandFixture {
    RecordingDriver rec;
    void SetUp() override {
        s.graphics.recorder = &rec;
        float status = -1;
        // Aspect 1: one plot unit is 0.0225 of each span: 2.25 along X, 0.225 along Y.
        begin_plot(s, 1.0F, 'Q', 0, 100, 0, 10, status);
    }
};

void expect_vectors(const std::vector<RecordedVector>& got, const std::vector<RecordedVector>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_NEAR(got[i].x, want[i].x, 1e-4) << i;
        EXPECT_NEAR(got[i].y, want[i].y, 1e-4) << i;
        EXPECT_EQ(got[i].pen, want[i].pen) << i;
    }
}

TEST_F(Figures, TextUsesThePlotUnit) {
    draw_text(s, 'Q', 10, 5, 1.0F, 0.0F, "L");
    // Glyph unit 0.45 across, 0.045 up; the closing move stays in the pen memory.
    expect_vectors(rec.vectors(), {{10, 5 + 6 * 0.045F, 3}, {10, 5, 2}, {10 + 4 * 0.45F, 5, 2}});
    EXPECT_NEAR(text_width(s, 1.0F, "L"), 1.8F, 1e-5);
    EXPECT_NEAR(text_width(s, 2.0F, "L"), 3.6F, 1e-5);
    EXPECT_EQ(text_width(s, 1.0F, ""), 0.0F);
    rec.clear();
    draw_text(s, 'Q', 10, 5, 0.0F, 0.0F, "L");
    draw_text(s, 'Q', 10, 5, 1.0F, 0.0F, "   ");
    EXPECT_TRUE(rec.vectors().empty());
}

TEST_F(Figures, FontCommandChangesTheDefaultFont) {
    const float w0 = text_width(s, 1.0F, "Hg");
    std::string said = run("FONT 1");
    EXPECT_EQ(s.fonts.default_font, 1);
    EXPECT_NE(text_width(s, 1.0F, "Hg"), w0);
    EXPECT_NEAR(text_width(s, 1.0F, "^0Hg"), w0, 1e-5);
    said += run("FONT 12");
    EXPECT_EQ(s.fonts.default_font, 1);
    EXPECT_EQ(said, " Default font set to  1.\n\n Default font set to  1.\n\n");
}

TEST_F(Figures, BoxStoresTheWindowAndDrawsTheFrame) {
    draw_box(s, 'S', 1, 2, 3, 4);
    EXPECT_FLOAT_EQ(s.graphics.xmin, 1);
    EXPECT_FLOAT_EQ(s.graphics.ymax, 4);
    EXPECT_FLOAT_EQ(s.graphics.left_margin, 1 - 0.05F);
    expect_vectors(rec.vectors(), {{1, 3, 3}, {2, 3, 2}, {2, 4, 2}, {1, 4, 2}, {1, 3, 2}, {1, 4, 2}});
    rec.clear();
    set_window(s, 0, 100, 0, 10);
    EXPECT_TRUE(rec.vectors().empty());
    EXPECT_FLOAT_EQ(s.graphics.xspan, 100);
    EXPECT_FLOAT_EQ(s.graphics.yspan, 10);
}

TEST_F(Figures, AxesOnTheCurrentWindow) {
    s.axes.x_numbers = s.axes.y_numbers = false;
    s.axes.upper_marks = s.axes.right_marks = false;
    s.axes.five_marks = false;
    s.axes.gradations = 1.0F;
    draw_axes(s, 'Q', 7, 7, 1.0F, false);
    // X: step 10 -> 11 marks of K * uy = 0.75 * 0.225; Y: step 1 -> 11 marks.
    const std::vector<RecordedVector> v = rec.vectors();
    ASSERT_EQ(v.size(), 44U);
    EXPECT_NEAR(v[0].x, 0, 1e-5);
    EXPECT_NEAR(v[0].y, 0.75F * 0.225F, 1e-5);
    EXPECT_EQ(v[1].pen, 2);
    EXPECT_NEAR(v[1].y, 0, 1e-5);
    EXPECT_TRUE(axis_setting(s, 'U', true, 0));
    EXPECT_TRUE(s.axes.upper_marks);
    // DRAW's settings reach the axis routine.
    draw_axis_flag(s, 'U', false);
    draw_axis_flag(s, 'X', true);
    draw_axis_flag(s, 'Y', true); // DRAW's own flag
    draw_axis_value(s, 'K', 3.0);
    draw_axis_value(s, 'I', 2.5);
    EXPECT_FALSE(s.axes.upper_marks);
    EXPECT_TRUE(s.axes.log_x);
    EXPECT_FLOAT_EQ(s.axes.mark_size, 3.0F);
    EXPECT_EQ(s.axes.x_digits, 3);
}

TEST_F(Figures, SymbolsFollowTheDrawFlags) {
    set_symbol_unit(s, 5.0F, 5.0F); // u = w = 1 at size 1
    draw_symbol(s, 'Q', 50, 5, 2.0F, 1, 1.0F);
    std::vector<RecordedVector> v = rec.vectors();
    ASSERT_EQ(v.size(), 9U);
    EXPECT_NEAR(v[5].y, 7, 1e-5);
    EXPECT_NEAR(v[6].y, 6, 1e-5);
    rec.clear();
    s.draw.flags.errors_through = true;
    s.draw.flags.bar_ends = true;
    draw_symbol(s, 'Q', 50, 5, 2.0F, 9, 1.0F);
    v = rec.vectors();
    ASSERT_EQ(v.size(), 5U + 2U + 4U);
    EXPECT_NEAR(v[5].y, 7, 1e-5);
    EXPECT_NEAR(v[6].y, 3, 1e-5);
    EXPECT_NEAR(v[7].x, 49, 1e-5);
    rec.clear();
    s.draw.flags.x_errors = true;
    s.draw.flags.bar_ends = false;
    draw_symbol(s, 'Q', 50, 5, 2.0F, 8, 1.0F);
    v = rec.vectors();
    ASSERT_EQ(v.size(), 4U);
    EXPECT_NEAR(v[2].x, 52, 1e-5);
    EXPECT_NEAR(v[3].x, 48, 1e-5);
}

} // namespace
} // namespace tarva
