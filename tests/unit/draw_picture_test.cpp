// DRAW pictures through the recording driver: the bracket of a picture, the
// limits it keeps, overlays and redraws, and the messages that stop it.
#include <gtest/gtest.h>

#include <sstream>

#include "command/commands.h"
#include "command/session.h"

namespace tarva {
namespace {

struct PictureSession {
    std::istringstream in;
    std::ostringstream out;
    Session s{in, out};
    RecordingDriver rec;

    explicit PictureSession(const std::string& answers = "") : in(answers) { s.graphics.recorder = &rec; }
    void point(float x, float y, float sigma = 0.0f) {
        const auto k = static_cast<std::size_t>(s.data.count++);
        s.data.X[k] = x;
        s.data.Y[k] = y;
        s.data.SIGMA[k] = sigma;
    }
    void run(const char* line) {
        CommandContext ctx;
        ctx.line = line;
        parse_command_line(ctx);
        cmd_draw(s, ctx);
    }
};

TEST(DrawPicture, StopsWithoutDataOrRange) {
    PictureSession t;
    t.run("DRAW/U");
    EXPECT_EQ(t.out.str(), " No data!\n");
    t.point(1.0f, 2.0f);
    t.out.str("");
    t.run("DRAW/U");
    EXPECT_EQ(t.out.str(), " ?DRAW: zero range !\n");
    EXPECT_TRUE(t.rec.events.empty());
    EXPECT_FALSE(t.s.draw.picture_drawn);
    t.out.str("");
    t.run("DRAW/R");
    EXPECT_EQ(t.out.str(), " ?DRAW - Can't redraw.\n");
}

TEST(DrawPicture, KeepsItsLimitsAndDevice) {
    PictureSession t;
    t.s.fit.function = 5;
    t.point(0.0f, 0.0f);
    t.point(10.0f, 20.0f);
    t.s.draw.default_device = 'U';
    t.run("DRAW");
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
    t.run("DRAW/R");
    EXPECT_EQ(t.s.draw.overlay, 2);
    EXPECT_EQ(t.rec.count(RecordedEvent::Begin), 0);
    EXPECT_EQ(t.rec.count(RecordedEvent::End), 1);
    t.run("DRAW/R");
    EXPECT_EQ(t.s.draw.overlay, 3);
    // A new picture starts the overlay series again.
    t.run("DRAW/U");
    EXPECT_EQ(t.s.draw.overlay, 1);
}

TEST(DrawPicture, ChosenLimitsAndTheLimitsFile) {
    PictureSession t("2 4\n-1 1\n");
    t.s.fit.function = 5;
    t.point(0.0f, 0.0f);
    t.point(10.0f, 20.0f);
    t.run("DRAW/U X");
    EXPECT_FLOAT_EQ(t.s.draw.old_xmin, 2.0f);
    EXPECT_FLOAT_EQ(t.s.draw.old_xmax, 4.0f);
    EXPECT_FLOAT_EQ(t.s.draw.old_ymin, -1.0f);
    EXPECT_FLOAT_EQ(t.s.draw.old_ymax, 1.0f);
    // The limits go to a file and come back from it.
    const std::string name = "tdpict"; // the argument text holds 33 characters
    t.out.str("");
    std::string line = "DRAW/U S " + name;
    t.run(line.c_str());
    EXPECT_EQ(t.out.str(), "  Draw limits saved in file " + name + ".QVM\n");
    t.run("DRAW/U");
    EXPECT_FLOAT_EQ(t.s.draw.old_xmax, 10.5f);
    line = "DRAW/U O " + name;
    t.run(line.c_str());
    EXPECT_FLOAT_EQ(t.s.draw.old_xmin, 2.0f);
    EXPECT_FLOAT_EQ(t.s.draw.old_ymax, 1.0f);
    std::remove((name + ".QVM").c_str());
    // A missing file: the computed limits, after the bell and the message.
    t.out.str("");
    t.run(line.c_str());
    EXPECT_EQ(t.out.str(), " \aCan't find " + name + ".QVM defaults used.\n");
    EXPECT_FLOAT_EQ(t.s.draw.old_xmax, 10.5f);
}

} // namespace
} // namespace tarva
