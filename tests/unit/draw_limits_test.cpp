// Plot limits of DRAW: data ranges, error bars, model values, widening,
// spectral mode, the limits file and the limit-choosing dialogue.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

#include "command_fixture.h"
#include "commands/graphics/draw/draw_command.h"
#include "commands/graphics/draw/limits.h"
#include "models/catalogue.h"
#include "session/session.h"

namespace tarva {
namespace {

using DrawSession = testing_support::CommandSession;

// Function 40 is an unused slot: its model value is 0 everywhere, which
// makes the model's share of the Y range visible.
constexpr int kZeroModel = 40;

TEST(DrawLimits, DataRangesWithErrorBars) {
    DrawSession t;
    t.add_point(2.0f, 5.0f, 1.0f);
    t.add_point(-1.0f, 8.0f, -0.5f); // the bar length is |sigma|
    t.add_point(4.0f, 6.0f, 0.0f);
    const Range x = data_x_range(t.s);
    EXPECT_FLOAT_EQ(x.lo, -1.0f);
    EXPECT_FLOAT_EQ(x.hi, 4.0f);
    t.s.fit.function = 5; // points only: no model values
    const Range y = data_y_range(t.s, true);
    EXPECT_FLOAT_EQ(y.lo, 4.0f);
    EXPECT_FLOAT_EQ(y.hi, 8.5f);
    // Only the points inside 0..4 count.
    const Range inside = data_y_range(t.s, false, 0.0f, 4.0f);
    EXPECT_FLOAT_EQ(inside.lo, 4.0f);
    EXPECT_FLOAT_EQ(inside.hi, 6.0f);
    const Range none = data_y_range(t.s, false, 10.0f, 20.0f);
    EXPECT_TRUE(none.empty());
    EXPECT_EQ(none.low(), 0.0f);
    EXPECT_EQ(none.high(), 0.0f);
}

TEST(DrawLimits, ModelValuesCountExceptForPointStyles) {
    DrawSession t;
    t.add_point(1.0f, 5.0f);
    t.add_point(2.0f, 10.0f);
    for (int f : {5, 9, 12}) {
        t.s.fit.function = f;
        EXPECT_FALSE(model_sets_limits(f));
        EXPECT_FLOAT_EQ(data_y_range(t.s, true).lo, 5.0f) << "function " << f;
    }
    t.s.fit.function = kZeroModel;
    EXPECT_TRUE(model_sets_limits(kZeroModel));
    EXPECT_TRUE(model_sets_limits(13));
    EXPECT_FLOAT_EQ(data_y_range(t.s, true).lo, 0.0f);
    EXPECT_FLOAT_EQ(data_y_range(t.s, true).hi, 10.0f);
}

TEST(DrawLimits, LogDataErrorBars) {
    DrawSession t;
    t.s.fit.function = 5;
    t.s.data.log_y = 1;
    t.add_point(0.0f, 2.0f, 900.0f); // 100 + 900 = 1000: the bar reaches 3
    const Range y = data_y_range(t.s, true);
    EXPECT_NEAR(y.hi, 3.0f, 1e-5);
    EXPECT_NEAR(y.lo, 1.0f, 1e-5);
    // A sigma that makes 10^y + sigma negative gives no bar, not a NaN.
    DrawSession u;
    u.s.fit.function = 5;
    u.s.data.log_y = 1;
    u.add_point(0.0f, 1.0f, -50.0f);
    const Range z = data_y_range(u.s, true);
    EXPECT_FLOAT_EQ(z.lo, 1.0f);
    EXPECT_FLOAT_EQ(z.hi, 1.0f);
}

TEST(DrawLimits, NonFiniteValuesAreLeftOut) {
    DrawSession t;
    t.s.fit.function = 5;
    t.add_point(0.0f, 1.0f);
    t.add_point(std::numeric_limits<float>::quiet_NaN(), 7.0f);
    t.add_point(3.0f, std::numeric_limits<float>::infinity());
    t.add_point(2.0f, 2.0f, std::numeric_limits<float>::quiet_NaN());
    const Range x = data_x_range(t.s);
    EXPECT_FLOAT_EQ(x.lo, 0.0f);
    EXPECT_FLOAT_EQ(x.hi, 3.0f);
    const Range y = data_y_range(t.s, true);
    EXPECT_FLOAT_EQ(y.lo, 1.0f);
    EXPECT_FLOAT_EQ(y.hi, 7.0f);
}

TEST(DrawLimits, DefaultWidensAndSpectralModeStartsAtZero) {
    DrawSession t;
    t.s.fit.function = 5;
    t.add_point(10.0f, 2.0f, 1.0f);
    t.add_point(30.0f, 8.0f, 1.0f);
    PlotLimits l = default_limits(t.s);
    EXPECT_FLOAT_EQ(l.xmin, 9.0f);
    EXPECT_FLOAT_EQ(l.xmax, 31.0f);
    EXPECT_FLOAT_EQ(l.ymin, 0.6f);
    EXPECT_FLOAT_EQ(l.ymax, 9.4f);
    t.s.draw.flags.spectral = true;
    l = default_limits(t.s);
    EXPECT_FLOAT_EQ(l.xmin, 10.0f);
    EXPECT_FLOAT_EQ(l.xmax, 30.0f);
    EXPECT_FLOAT_EQ(l.ymin, 0.0f);
    EXPECT_FLOAT_EQ(l.ymax, 1.25f * 9.0f);
}

TEST(DrawLimits, FileNamesAndFileRoundTrip) {
    EXPECT_EQ(limits_file_name(""), "QVDRAW.QVM");
    EXPECT_EQ(limits_file_name("   "), "QVDRAW.QVM");
    EXPECT_EQ(limits_file_name("lims"), "lims.QVM");
    EXPECT_EQ(limits_file_name("lims.txt"), "lims.txt");

    testing_support::TempDir scratch;
    const auto& dir = scratch.path();
    const std::string name = (dir / "a.QVM").string();
    ASSERT_TRUE(write_limits_file(name, {-0.45f, 9.45f, 0.0f, 12345678.0f}));
    std::ifstream f(name);
    std::string line;
    std::getline(f, line);
    EXPECT_EQ(line, " -0.45000    ,   9.4500    ,   0.0000    ,  1.23457E+07");
    PlotLimits back;
    ASSERT_EQ(read_limits_file(name, back), LimitsFileStatus::Ok);
    EXPECT_FLOAT_EQ(back.xmin, -0.45f);
    EXPECT_FLOAT_EQ(back.xmax, 9.45f);
    EXPECT_FLOAT_EQ(back.ymin, 0.0f);
    EXPECT_FLOAT_EQ(back.ymax, 12345700.0f);

    PlotLimits untouched{1, 2, 3, 4};
    EXPECT_EQ(read_limits_file((dir / "missing.QVM").string(), untouched), LimitsFileStatus::Missing);
    EXPECT_EQ(untouched.xmax, 2.0f);
    // The long line lives past the loop header (a temporary there would not).
    const std::string long_line(10000, '7');
    for (const char* bad : {"1 2 3", "1 2 x 4", "", "1 2 3 1e400", "nan 1 2 3", long_line.c_str()}) {
        std::ofstream(name, std::ios::trunc) << bad;
        EXPECT_EQ(read_limits_file(name, untouched), LimitsFileStatus::ReadFailed) << bad;
    }
    std::ofstream(name, std::ios::trunc) << "1\n2\n\n3,4\n";
    ASSERT_EQ(read_limits_file(name, back), LimitsFileStatus::Ok);
    EXPECT_EQ(back.ymax, 4.0f);
    // A directory cannot be read as a file.
    EXPECT_EQ(read_limits_file(dir.string(), back), LimitsFileStatus::OpenFailed);
}

TEST(DrawLimits, XPromptRetriesOnZeroRangeAndOrdersValues) {
    DrawSession t("5 5\n9 1\n\n");
    t.s.fit.function = 5;
    t.add_point(0.0f, 1.0f);
    t.add_point(2.0f, 3.0f);
    t.add_point(8.0f, 100.0f);
    DrawArguments args{"X", ""};
    PlotLimits l;
    ASSERT_TRUE(picture_limits(t.s, args, l));
    EXPECT_FLOAT_EQ(l.xmin, 1.0f);
    EXPECT_FLOAT_EQ(l.xmax, 9.0f);
    // Y offered over the points inside 1..9, unwidened; CR keeps it.
    EXPECT_FLOAT_EQ(l.ymin, 3.0f);
    EXPECT_FLOAT_EQ(l.ymax, 100.0f);
    EXPECT_EQ(t.out.str(),
              " Xmin to Xmax (CR for -0.40000 to 8.4000) >  Min 5.0000 Max 5.0000. Zero range!, try again.\n"
              " Xmin to Xmax (CR for -0.40000 to 8.4000) >  Ymin to Ymax (CR for 3.0000 to 100.00) > ");
}

TEST(DrawLimits, EndedInputGivesUp) {
    DrawSession t("");
    t.add_point(0.0f, 1.0f);
    t.add_point(2.0f, 3.0f);
    PlotLimits l;
    EXPECT_FALSE(picture_limits(t.s, {"X", ""}, l));
}

TEST(DrawLimits, OldLimitsAndRescale) {
    DrawSession t;
    t.s.fit.function = 5;
    t.add_point(0.0f, 1.0f);
    t.add_point(5.0f, 50.0f);
    t.add_point(10.0f, 7.0f);
    t.s.draw.old_xmin = 6.0f;
    t.s.draw.old_xmax = 12.0f;
    t.s.draw.old_ymin = -3.0f;
    t.s.draw.old_ymax = 3.0f;
    // TX: old X limits, Y over the points inside them.
    t.s.draw.flags.old_limits = true;
    t.s.draw.flags.old_x_limits = true;
    PlotLimits l;
    ASSERT_TRUE(picture_limits(t.s, {"", ""}, l));
    EXPECT_FLOAT_EQ(l.xmin, 6.0f);
    EXPECT_FLOAT_EQ(l.xmax, 12.0f);
    EXPECT_FLOAT_EQ(l.ymin, 7.0f);
    EXPECT_FLOAT_EQ(l.ymax, 7.0f);
    t.s.draw.flags.old_y_limits = true;
    ASSERT_TRUE(picture_limits(t.s, {"", ""}, l));
    EXPECT_FLOAT_EQ(l.ymin, -3.0f);
    EXPECT_FLOAT_EQ(l.ymax, 3.0f);
    // R shows the Y range it takes instead of the old one.
    ASSERT_TRUE(picture_limits(t.s, {"R", ""}, l));
    EXPECT_FLOAT_EQ(l.ymax, 7.0f);
    EXPECT_EQ(t.out.str(), " Ymin to Ymax (       7.0000 to 7.0000)\n");
}

TEST(DrawLimits, MarkersSpanThePicture) {
    DrawSession t;
    t.add_point(0.0f, 1.0f);
    t.s.markers.x[0] = 8.0;
    t.s.markers.x[1] = 2.0;
    t.s.markers.y[0] = -1.0;
    t.s.markers.y[1] = 4.0;
    PlotLimits l;
    ASSERT_TRUE(picture_limits(t.s, {"M", ""}, l));
    EXPECT_FLOAT_EQ(l.xmin, 2.0f);
    EXPECT_FLOAT_EQ(l.xmax, 8.0f);
    EXPECT_FLOAT_EQ(l.ymin, -1.0f);
    EXPECT_FLOAT_EQ(l.ymax, 4.0f);
}

TEST(DrawLimits, ExtensionFactorFromTheKey) {
    DrawSession t;
    t.type("DRAW/E EX5");
    EXPECT_FLOAT_EQ(t.s.draw.extension, 0.5f);
    EXPECT_TRUE(t.s.draw.flags.extend);
    t.type("DRAW/E EX10");
    EXPECT_FLOAT_EQ(t.s.draw.extension, 1.0f);
    t.type("DRAW/E EX1");
    EXPECT_FLOAT_EQ(t.s.draw.extension, 0.1f);
    t.type("DRAW/E EX9");
    t.type("DRAW/D EX");
    EXPECT_FALSE(t.s.draw.flags.extend);
    EXPECT_FLOAT_EQ(t.s.draw.extension, 0.9f);
    t.type("DRAW/E EX");
    EXPECT_FLOAT_EQ(t.s.draw.extension, 0.1f);
    // T switches both old-limit flags; TX and TY switch T with them.
    t.type("DRAW/E T");
    EXPECT_TRUE(t.s.draw.flags.old_x_limits && t.s.draw.flags.old_y_limits);
    t.type("DRAW/D TX");
    EXPECT_FALSE(t.s.draw.flags.old_limits);
    EXPECT_FALSE(t.s.draw.flags.old_x_limits);
    EXPECT_TRUE(t.s.draw.flags.old_y_limits);
    t.type("DRAW/E TY");
    EXPECT_TRUE(t.s.draw.flags.old_limits);
    t.type("DRAW/D T");
    EXPECT_FALSE(t.s.draw.flags.old_limits || t.s.draw.flags.old_x_limits || t.s.draw.flags.old_y_limits);
}

} // namespace
} // namespace tarva
