// DRAW pictures through the recording driver: the bracket of a picture, the
// limits it keeps, overlays and redraws, and the messages that stop it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <vector>

#include "command_fixture.h"
#include "commands/graphics/draw/limits.h"
#include "graphics/drivers/recording_driver.h"
#include "session/session.h"

namespace tarva {
namespace {

// Keyboard answers given at the start; the pictures go to a recorder.
struct PictureSession : testing_support::CommandSession {
    explicit PictureSession(const std::string& answers = "") : CommandSession(answers) { s.graphics.recorder = &rec; }
    RecordingDriver rec;
};

TEST(DrawPicture, StopsWithoutDataOrRange) {
    PictureSession t;
    t.type("DRAW/U");
    EXPECT_EQ(t.out.str(), " No data!\n");
    t.add_point(1.0f, 2.0f);
    t.out.str("");
    t.type("DRAW/U");
    EXPECT_EQ(t.out.str(), " ?DRAW: zero range !\n");
    EXPECT_TRUE(t.rec.events.empty());
    EXPECT_FALSE(t.s.draw.picture_drawn);
    t.out.str("");
    t.type("DRAW/R");
    EXPECT_EQ(t.out.str(), " ?DRAW - Can't redraw.\n");
}

TEST(DrawPicture, KeepsItsLimitsAndDevice) {
    PictureSession t;
    t.s.fit.function = 5;
    t.add_point(0.0f, 0.0f);
    t.add_point(10.0f, 20.0f);
    t.s.draw.default_device = 'U';
    t.type("DRAW");
    ASSERT_GE(t.rec.events.size(), 2u);
    EXPECT_EQ(t.rec.events.front().kind, RecordedEvent::Begin);
    EXPECT_EQ(t.rec.events.front().device, 'U');
    EXPECT_EQ(t.rec.events.back().kind, RecordedEvent::End);
    EXPECT_TRUE(t.s.draw.picture_drawn);
    EXPECT_EQ(t.s.draw.last_device, 'U');
    EXPECT_FLOAT_EQ(t.s.draw.old_xmin, -0.5f);
    EXPECT_FLOAT_EQ(t.s.draw.old_xmax, 10.5f);
    EXPECT_FLOAT_EQ(t.s.draw.old_ymin, -1.0f);
    EXPECT_FLOAT_EQ(t.s.draw.old_ymax, 21.0f);
    EXPECT_FLOAT_EQ(t.s.graphics.xmin, -0.5f);
    EXPECT_FLOAT_EQ(t.s.graphics.ymax, 21.0f);

    // An overlay draws on the last device without a new picture.
    t.rec.clear();
    t.type("DRAW/R");
    EXPECT_EQ(t.s.draw.overlay, 2);
    EXPECT_EQ(t.rec.count(RecordedEvent::Begin), 0);
    EXPECT_EQ(t.rec.count(RecordedEvent::End), 1);
    t.type("DRAW/R");
    EXPECT_EQ(t.s.draw.overlay, 3);
    // A new picture starts the overlay series again.
    t.type("DRAW/U");
    EXPECT_EQ(t.s.draw.overlay, 1);
}

TEST(DrawPicture, ChosenLimitsAndTheLimitsFile) {
    PictureSession t("2 4\n-1 1\n");
    t.s.fit.function = 5;
    t.add_point(0.0f, 0.0f);
    t.add_point(10.0f, 20.0f);
    t.type("DRAW/U X");
    EXPECT_FLOAT_EQ(t.s.draw.old_xmin, 2.0f);
    EXPECT_FLOAT_EQ(t.s.draw.old_xmax, 4.0f);
    EXPECT_FLOAT_EQ(t.s.draw.old_ymin, -1.0f);
    EXPECT_FLOAT_EQ(t.s.draw.old_ymax, 1.0f);
    // The limits go to a file and come back from it.
    const std::string name = "tdpict"; // the argument text holds 33 characters
    t.out.str("");
    std::string line = "DRAW/U S " + name;
    t.type(line.c_str());
    EXPECT_EQ(t.out.str(), "  Draw limits saved in file " + name + ".QVM\n");
    t.type("DRAW/U");
    EXPECT_FLOAT_EQ(t.s.draw.old_xmax, 10.5f);
    line = "DRAW/U O " + name;
    t.type(line.c_str());
    EXPECT_FLOAT_EQ(t.s.draw.old_xmin, 2.0f);
    EXPECT_FLOAT_EQ(t.s.draw.old_ymax, 1.0f);
    std::remove((name + ".QVM").c_str());
    // A missing file: the computed limits, after the bell and the message.
    t.out.str("");
    t.type(line.c_str());
    EXPECT_EQ(t.out.str(), " \aCan't find " + name + ".QVM defaults used.\n");
    EXPECT_FLOAT_EQ(t.s.draw.old_xmax, 10.5f);
}

} // namespace
} // namespace tarva

namespace tarva {
namespace {

// A picture of four points on the recording driver with everything but
// the part under test switched off.
struct BarePicture : PictureSession {
    BarePicture() {
        s.fit.function = 5;
        add_point(1.0f, 1.0f, 0.5f);
        add_point(2.0f, 4.0f, 0.5f);
        add_point(3.0f, 2.0f, 0.5f);
        add_point(4.0f, 3.0f, 0.5f);
        s.draw.default_device = 'U';
        DrawFlags& f = s.draw.flags;
        f.box = f.marks = f.name = f.solid_points = false;
        s.data.x_label = "";
        s.data.y_label = "";
    }
    std::vector<RecordedVector> draws() const {
        std::vector<RecordedVector> d;
        for (const auto& v : rec.vectors())
            if (v.pen == 2) d.push_back(v);
        return d;
    }
    int draws_near(float x, float y, float dx, float dy) const {
        int n = 0;
        for (const auto& v : draws()) n += std::fabs(v.x - x) <= dx && std::fabs(v.y - y) <= dy;
        return n;
    }
};

TEST(DrawPictureSteps, SymbolsOnlyInsideTheBoxUnlessJumping) {
    BarePicture t;
    t.type("DRAW/U O none"); // missing file: computed limits
    const auto all = t.draws().size();
    ASSERT_GT(all, 0u);
    // Old limits 1.5..4.5 leave the first point out.
    t.s.draw.old_xmin = 1.5f;
    t.s.draw.old_xmax = 4.5f;
    t.s.draw.old_ymin = 0.0f;
    t.s.draw.old_ymax = 5.0f;
    t.s.draw.flags.old_limits = t.s.draw.flags.old_x_limits = t.s.draw.flags.old_y_limits = true;
    t.rec.clear();
    t.type("DRAW/U");
    EXPECT_EQ(t.draws_near(1.0f, 1.0f, 0.3f, 0.6f), 0);
    EXPECT_GT(t.draws_near(2.0f, 4.0f, 0.3f, 0.6f), 0);
    const auto inside = t.draws().size();
    EXPECT_LT(inside, all);
    t.s.draw.flags.jump_out = true;
    t.rec.clear();
    t.type("DRAW/U");
    EXPECT_GT(t.draws().size(), inside);
    // The argument N leaves the points out altogether.
    t.rec.clear();
    t.type("DRAW/U N");
    EXPECT_TRUE(t.draws().empty());
}

TEST(DrawPictureSteps, SolidSymbolsAreDrawnAgainSmaller) {
    BarePicture t;
    t.type("DRAW/U");
    const auto hollow = t.draws().size();
    t.s.draw.flags.solid_points = true;
    t.rec.clear();
    t.type("DRAW/U");
    // Size 1: again at 0.75, 0.5 and 0.25 (four outlines of four sides),
    // the error bars only once.
    EXPECT_EQ(t.draws().size(), hollow + 4u * 3u * 4u);
    t.s.draw.symbol_size = 0.3f; // nothing between 0.1 and 0.3 - 0.25
    t.rec.clear();
    t.type("DRAW/U");
    EXPECT_EQ(t.draws().size(), hollow);
}

TEST(DrawPictureSteps, TitleCaptionsAndLegendPositions) {
    BarePicture t;
    t.s.draw.flags.data_points = false;
    t.s.data.caption = "T";
    t.type("DRAW/U");
    const PlotLimits box{t.s.draw.old_xmin, t.s.draw.old_xmax, t.s.draw.old_ymin, t.s.draw.old_ymax};
    const float xs = box.xmax - box.xmin, ys = box.ymax - box.ymin;
    // The title's strokes start at 5 % of the width, 10 % below the top.
    auto d = t.draws();
    ASSERT_FALSE(d.empty());
    float lo_x = 1e9f, hi_y = -1e9f, lo_y = 1e9f;
    for (const auto& v : t.rec.vectors()) {
        lo_x = std::min(lo_x, v.x);
        lo_y = std::min(lo_y, v.y);
        hi_y = std::max(hi_y, v.y);
    }
    EXPECT_NEAR(lo_x, box.xmin + 0.05f * xs, 0.02f * xs);
    EXPECT_NEAR(lo_y, box.ymax - 0.1f * ys, 0.01f * ys);
    EXPECT_LT(hi_y, box.ymax);

    // The X caption lies below the box, centred; the Y caption left of it.
    BarePicture c;
    c.s.draw.flags.data_points = false;
    c.s.data.x_label = "XX";
    c.type("DRAW/U");
    float cx_lo = 1e9f, cx_hi = -1e9f, cy_hi = -1e9f;
    for (const auto& v : c.draws()) {
        cx_lo = std::min(cx_lo, v.x);
        cx_hi = std::max(cx_hi, v.x);
        cy_hi = std::max(cy_hi, v.y);
    }
    const float mid = 0.5f * (c.s.draw.old_xmin + c.s.draw.old_xmax);
    EXPECT_NEAR(0.5f * (cx_lo + cx_hi), mid, 0.01f * xs);
    EXPECT_LT(cy_hi, c.s.draw.old_ymin);
    BarePicture y;
    y.s.draw.flags.data_points = false;
    y.s.data.y_label = "YY";
    y.type("DRAW/U");
    for (const auto& v : y.draws()) EXPECT_LT(v.x, y.s.draw.old_xmin);

    // The legend: the symbol above the top right corner, the name left of it;
    // the next overlay's entry left of the first.
    BarePicture l;
    l.s.draw.flags.name = true;
    l.s.data.file_name = "abc";
    l.s.data.count = 0; // no points inside: only the legend draws
    l.add_point(1.0f, 100.0f);
    l.add_point(2.0f, 100.0f);
    l.s.draw.flags.old_limits = l.s.draw.flags.old_x_limits = l.s.draw.flags.old_y_limits = true;
    l.s.draw.old_xmin = 0.0f;
    l.s.draw.old_xmax = 10.0f;
    l.s.draw.old_ymin = 0.0f;
    l.s.draw.old_ymax = 10.0f;
    l.type("DRAW/U");
    float first_lo = 1e9f;
    for (const auto& v : l.draws()) {
        EXPECT_GT(v.y, 10.0f);
        EXPECT_LE(v.x, 10.0f);
        first_lo = std::min(first_lo, v.x);
    }
    EXPECT_GT(first_lo, 5.0f);
    l.rec.clear();
    l.type("DRAW/R");
    for (const auto& v : l.draws()) EXPECT_LT(v.x, first_lo);
}

TEST(DrawPictureSteps, RedrawBoxAndMarks) {
    BarePicture t;
    t.type("DRAW/U");
    t.rec.clear();
    t.type("DRAW/R B");
    const auto box = t.draws();
    ASSERT_EQ(box.size(), 4u); // the frame, on a device other than the terminal
    EXPECT_EQ(t.s.draw.overlay, 1);
    t.rec.clear();
    t.type("DRAW/R M");
    EXPECT_GT(t.draws().size(), 20u);
    for (const auto& v : t.draws()) {
        EXPECT_GE(v.y, t.s.draw.old_ymin - 0.2f * (t.s.draw.old_ymax - t.s.draw.old_ymin));
    }
}

TEST(DrawPictureSteps, SplineRefitBeforeDrawing) {
    BarePicture t;
    t.s.fit.function = 11;
    t.s.draw.flags.instant_spline = true;
    t.type("DRAW/U");
    // The spline fit names its two parameters.
    EXPECT_EQ(t.s.fit.nparams, 2);
    EXPECT_TRUE(t.s.fit.param_name(0) == "St. spline");
    // With the I flag off the fit state is left alone.
    BarePicture u;
    u.s.fit.function = 11;
    u.s.fit.nparams = 7;
    u.s.draw.flags.instant_spline = false;
    u.type("DRAW/U");
    EXPECT_EQ(u.s.fit.nparams, 7);
}

TEST(DrawPictureSteps, PostScriptPictureRendersWithGhostscript) {
    if (!testing_support::have_program("gs")) GTEST_SKIP() << "gs not installed";
    testing_support::TempDir dir;
    {
        PictureSession t;
        t.s.graphics.recorder = nullptr;
        t.s.fit.function = 2;
        t.s.fit.nparams = 3;
        t.s.fit.value[2] = 1.0;
        for (int i = 0; i < 20; ++i) t.add_point(static_cast<float>(i), static_cast<float>(i) + 0.5f, 1.0f);
        t.s.data.caption = "Gs check";
        t.s.draw.flags.parameters = t.s.draw.flags.axis = true;
        t.type("DRAW/Q");
        t.type("DRAW/R");
        t.type("CLOSE");
    }
    const int rc = std::system("gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=nullpage plt01.ps >gs.log 2>&1");
    EXPECT_EQ(rc, 0);
}

} // namespace
} // namespace tarva
