// STIPPL, HATCH, ARC, SUBPLO, COLOUR and THICK on the last picture, checked
// through the vectors that reach the recording driver.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "command_fixture.h"
#include "commands/commands.h"
#include "graphics/annotation_layout.h"
#include "graphics/drivers/recording_driver.h"
#include "graphics/text.h"
#include "interpreter/interpreter.h"
#include "plot/drawing.h"
#include "plot/plot.h"
#include "session/session.h"

namespace tarva {
namespace {

constexpr double kPi = 3.14159265358979323846;

struct Annotate : testing_support::PictureFixture {
    // Segments drawn: each draw with the point before it.
    std::vector<std::pair<RecordedVector, RecordedVector>> segments() const {
        std::vector<std::pair<RecordedVector, RecordedVector>> seg;
        const auto v = rec.vectors();
        for (std::size_t i = 1; i < v.size(); ++i)
            if (v[i].pen == 2) seg.push_back({v[i - 1], v[i]});
        return seg;
    }
};

TEST_F(Annotate, NoPictureStopsEveryDrawingCommand) {
    for (const char* line : {"ARC 2", "ARC/L", "STIPPL", "HATCH", "SUBPLO x"}) {
        run(line, "1,1\n2,2\n");
        EXPECT_EQ(out.str(), " No plot current!\n") << line;
    }
}

TEST_F(Annotate, StippleDefaultCountFromBlankAnswer) {
    picture();
    run("STIPPL", "10,2\n30,4\n\n");
    EXPECT_EQ(out.str(), std::string(21, ' ') +
                             "Stipple a region of the plot.\n"
                             "     Lower left corner of region (Xl,Yl) >     Upper right corner of region (Xh,Yh) > "
                             "     Number of stipples (CR for default) > ");
    const auto v = rec.vectors();
    ASSERT_EQ(v.size(), 200u);
    double r = 0.0;
    for (std::size_t i = 0; i < v.size(); i += 2) {
        EXPECT_EQ(v[i].pen, 3);
        EXPECT_EQ(v[i + 1], (RecordedVector{v[i].x, v[i].y, 2})); // a dot
        r = next_stipple_random(r);
        EXPECT_FLOAT_EQ(v[i].x, 10.0F + 20.0F * static_cast<float>(r));
        r = next_stipple_random(r);
        EXPECT_FLOAT_EQ(v[i].y, 2.0F + 2.0F * static_cast<float>(r));
    }
    EXPECT_EQ(rec.count(RecordedEvent::End), 1);
    // The generator goes on where it stopped.
    EXPECT_DOUBLE_EQ(s.draw.stipple_random, r);
}

TEST_F(Annotate, StippleGeneratorSequence) {
    EXPECT_NEAR(next_stipple_random(0.0), 0.211327, 1e-12);
    EXPECT_NEAR(next_stipple_random(0.211327), 0.653794, 1e-6); // 9821 * 0.211327 + 0.211327 = 2075.653794
    for (double r = 0.0, i = 0; i < 1000; ++i) {
        r = next_stipple_random(r);
        ASSERT_TRUE(r >= 0.0 && r < 1.0);
    }
}

TEST_F(Annotate, StippleCountArgumentAndOutline) {
    picture();
    run("STIPPL E 7", "10,2\n30,4\n");
    const auto v = rec.vectors();
    ASSERT_EQ(v.size(), 5u + 14u);
    EXPECT_EQ(v[0], (RecordedVector{10, 2, 3}));
    EXPECT_EQ(v[2], (RecordedVector{30, 4, 2}));
    EXPECT_EQ(v[4], (RecordedVector{10, 2, 2}));
}

TEST_F(Annotate, RegularStippleUnderTheData) {
    picture(0, 10, 0, 4);
    s.data.count = 5;
    for (int i = 0; i < 5; ++i) {
        s.data.X[i] = static_cast<float>(i);
        s.data.Y[i] = static_cast<float>(i) * 0.5F; // 0, 0.5, 1, 1.5, 2
    }
    // Spacing |4 - 0| / 8 = 0.5; points 1 to 3 are nearest to 1.2 and 2.9.
    run("STIPPL/R E 8", "1.2\n2.9\n");
    EXPECT_NE(out.str().find("Regular stipple selected, enter only the x-limits.\n"), std::string::npos);
    const auto seg = segments();
    ASSERT_EQ(seg.size(), 2u + 2u + 3u + 4u);
    EXPECT_EQ(seg[0].first, (RecordedVector{1, 0, 3}));
    EXPECT_EQ(seg[0].second, (RecordedVector{1, 0.5F, 2}));
    EXPECT_EQ(seg[1].second, (RecordedVector{3, 1.5F, 2}));
    EXPECT_EQ(seg.back().second, (RecordedVector{3, 1.5F, 2}));
    EXPECT_EQ(seg[2].second, (RecordedVector{1, 0, 2}));
}

TEST_F(Annotate, RegularStippleLimitsEachColumn) {
    const float x[] = {0, 1}, y[] = {1e30F, 1.2345F};
    const Strokes dots = regular_stipple(x, y, 0, 1, 1e-3F, false);
    EXPECT_EQ(dots.size(), 2u * (kMaxColumnDots + 1235));
    EXPECT_TRUE(regular_stipple(x, y, 0, 1, 0.0F, true).empty());
}

TEST_F(Annotate, HatchVerticalWhateverTheAspect) {
    picture(0, 10, 0, 1000);
    s.draw.last_device = 'S'; // the terminal shows the line style in its pens
    s.draw.line_style = 3;
    run("HATCH/E", "1,100\n5,900\n1\n90\n");
    EXPECT_EQ(out.str(), std::string(21, ' ') +
                             "Hatch a region of the plot.\n"
                             "     Lower left corner of region (Xl,Yl) >     Upper right corner of region (Xh,Yh) > "
                             " Hatch spacing (in units of the X-axis) >                   Hatch angle to X-axis > ");
    const auto seg = segments();
    ASSERT_EQ(seg.size(), 4u + 5u);
    for (int k = 0; k < 5; ++k) {
        const auto& [a, b] = seg[4 + static_cast<std::size_t>(k)];
        EXPECT_EQ(a, (RecordedVector{1.0F + static_cast<float>(k), 100, 3}));
        EXPECT_EQ(b, (RecordedVector{1.0F + static_cast<float>(k), 900, 2}));
    }
    // The hatch lines use DRAW's line style, the rectangle does not;
    // afterwards the style is solid again.
    int vectors = 0;
    for (const auto& e : rec.events) {
        if (e.kind != RecordedEvent::Vector) continue;
        EXPECT_EQ(e.line_style, vectors++ < 5 ? 0 : 3);
    }
    EXPECT_EQ(vectors, 5 + 10);
    EXPECT_EQ(s.graphics.line_style, 0);
}

TEST_F(Annotate, HatchAngleTrueOnThePage) {
    // Y span ten times the X span on a square box: one plot unit is 0.225
    // along X and 2.25 along Y.
    picture(0, 10, 0, 100);
    run("HATCH", "2,20\n8,80\n0.5\n45\n");
    const auto seg = segments();
    ASSERT_GT(seg.size(), 10u);
    for (const auto& [a, b] : seg) {
        const float page_slope = ((b.y - a.y) / 2.25F) / ((b.x - a.x) / 0.225F);
        EXPECT_NEAR(page_slope, 1.0F, 1e-3F);
        for (const auto& p : {a, b}) {
            EXPECT_GE(p.x, 2.0F - 1e-4F);
            EXPECT_LE(p.x, 8.0F + 1e-4F);
            EXPECT_GE(p.y, 20.0F - 1e-3F);
            EXPECT_LE(p.y, 80.0F + 1e-3F);
        }
    }
    // Lines cross the bottom edge every 0.5 in X: the corners are covered
    // at both ends.
    EXPECT_NEAR(seg.front().first.x, 2.0F, 0.5F);
    EXPECT_NEAR(seg.back().second.x, 8.0F, 0.5F);
}

TEST_F(Annotate, HatchHorizontalAndDescendingLines) {
    const Strokes flat = hatch_lines({0, 0, 10, 10}, -2, 0, 1);
    ASSERT_EQ(flat.size(), 12u); // y = 0, 2, ... 10, sign of the spacing ignored
    EXPECT_EQ(flat[10].y, 10.0F);
    EXPECT_EQ(flat[11].x, 10.0F);
    // 135 degrees: lines fall to the right, each inside the rectangle.
    const Strokes down = hatch_lines({10, 10, 0, 0}, 1, 135, 1);
    ASSERT_FALSE(down.empty());
    for (std::size_t i = 0; i + 1 < down.size(); i += 2) {
        EXPECT_NEAR((down[i + 1].y - down[i].y) / (down[i + 1].x - down[i].x), -1.0, 1e-4);
        EXPECT_TRUE(down[i].x >= -1e-4F && down[i].x <= 10.0001F);
    }
    EXPECT_EQ(down.size(), 2u * 19u); // lines through x = 0 .. 20 at the bottom, touching the box
    // A zero spacing cannot hatch; a tiny one stops at the line limit.
    EXPECT_TRUE(hatch_lines({0, 0, 10, 10}, 0, 30, 1).empty());
    EXPECT_EQ(hatch_lines({0, 0, 10, 10}, 1e-9F, 90, 1).size(), 2u * kMaxHatchLines);
}

TEST_F(Annotate, ArcIsRoundOnThePage) {
    picture(0, 100, 0, 10); // ux 2.25, uy 0.225
    run("ARC 9", "50,5\n59,5\n91\n");
    EXPECT_EQ(out.str(), " Arc centre coords >  Arc start coords >  Angle differential (degrees) > ");
    const auto v = rec.vectors();
    // 60 * 9 / 2.25 = 240 points per circle; 91 degrees take 61 of them.
    ASSERT_EQ(v.size(), 61u);
    EXPECT_EQ(v.front().pen, 3);
    EXPECT_NEAR(v.front().x, 59.0F, 1e-4F);
    EXPECT_NEAR(v.back().x, 50.0F, 1e-3F);
    EXPECT_NEAR(v.back().y, 5.0F + 0.9F, 1e-4F);
    for (const auto& p : v) EXPECT_NEAR(std::hypot((p.x - 50) / 2.25, (p.y - 5) / 0.225), 4.0, 1e-3);
}

TEST_F(Annotate, ArcToFinishPointAndRadiusPrompt) {
    picture(-10, 10, -10, 10);
    run("ARC C", "2\n0,0\n0,5\n5,0\n");
    EXPECT_EQ(out.str(), " Arc radius (in units of the x axis) >  Arc centre coords >  Arc start coords > "
                         " Arc finish coords > ");
    const auto v = rec.vectors();
    ASSERT_GE(v.size(), 2u);
    // From 90 degrees back to 0: the step is negative.
    EXPECT_NEAR(v.front().y, 2.0F, 1e-5F);
    // The last point lies within one step (2 pi / 266) short of the finish.
    EXPECT_NEAR(v.back().x, 2.0F, 1e-3F);
    EXPECT_GT(v.back().y, 0.0F);
    EXPECT_LT(v.back().y, 2.0F * 6.2832F / 266.0F);
    EXPECT_GT(v[1].x, v[0].x);
    // A radius of 0 or less draws nothing and asks nothing more.
    rec.clear();
    run("ARC", "-1\n");
    EXPECT_EQ(out.str(), " Arc radius (in units of the x axis) > ");
    EXPECT_EQ(rec.count(RecordedEvent::Vector), 0);
}

TEST_F(Annotate, ArcPointsKeepFiniteCounts) {
    // A radius far below the plot unit still makes an arc; a huge angle
    // stops at the point limit.
    EXPECT_EQ(arc_points(0, 0, 1e-6, 0, kPi + 0.1, 1, 1).size(), 5u);
    EXPECT_EQ(arc_points(0, 0, 1, 0, 1e6, 1e-3F, 1e-3F).size(), static_cast<std::size_t>(kMaxArcPoints));
    EXPECT_NEAR(direction_angle(0, 0, 0, -1), 1.5 * kPi, 1e-12);
}

TEST_F(Annotate, StraightLinesLogAndMarkerOffset) {
    picture(0, 3, 0, 3);
    run("ARC/L L", "10,100\n1000,1\n");
    EXPECT_EQ(out.str(), " Arc start coords >  Arc finish coords > ");
    EXPECT_EQ(rec.vectors(), (std::vector<RecordedVector>{{1, 2, 3}, {3, 0, 2}}));
    rec.clear();
    s.markers.x[0] = 0.5;
    s.markers.y[0] = 1.5;
    run("ARC/L I", "1,1\n2,-1\n");
    EXPECT_EQ(rec.vectors(), (std::vector<RecordedVector>{{1.5F, 2.5F, 3}, {2.5F, 0.5F, 2}}));
}

TEST_F(Annotate, ThickLinesOnEveryAnnotationSegment) {
    picture(0, 100, 0, 100);
    run("THICK/5 0.2");
    run("ARC/L", "10,10\n60,10\n");
    // The line, five pairs of parallels (four vectors each), the pen back.
    const auto v = rec.vectors();
    ASSERT_EQ(v.size(), 2u + 20u + 1u);
    EXPECT_NEAR(v[2 + 16].y, 10.0F - 5 * 0.2F * 2.25F, 1e-4F);
}

TEST_F(Annotate, ColourOnlyReports) {
    run("COLOUR/E");
    EXPECT_EQ(out.str(), " Colour enabled.\n");
    run("COLOUR/D");
    EXPECT_EQ(out.str(), " Colour disabled.\n");
    run("COLOUR");
    EXPECT_EQ(out.str(), " Colour status not changed.\n");
}

struct Subplot : Annotate {
    testing_support::TempDir dir;
    void write(const std::string& name, const std::string& text) { std::ofstream(name, std::ios::binary) << text; }
};

TEST_F(Subplot, StrokesAndLabelsPlacedInPlotUnits) {
    picture(0, 100, 0, 10); // ux 2.25, uy 0.225
    // Two labels: angle 0 and height 2; then a blank angle (1 degree).
    write("inset.sub", "A small inset\n0 0 2\n1 0 2\n1,1,3\n0 1 2\n5 5 1\n2 2\n0\n2\nAB\n4 4\n\n2\nC\n");
    run("SUBPLO inset", "10,1\n2\n");
    EXPECT_EQ(out.str(), "\n A small inset\n\n Coordinates for subplot (x,y) >       Scale factor for subplot > ");
    const auto v = rec.vectors();
    ASSERT_GE(v.size(), 4u);
    // The first stroke is a move even with pen 2.
    EXPECT_EQ(v[0], (RecordedVector{10, 1, 3}));
    EXPECT_EQ(v[1], (RecordedVector{14.5F, 1, 2}));
    EXPECT_EQ(v[2], (RecordedVector{14.5F, 1.45F, 3}));
    EXPECT_EQ(v[3], (RecordedVector{10, 1.45F, 2}));
    EXPECT_EQ(rec.count(RecordedEvent::End), 1);
    // The labels are the texts drawn at the scaled positions, size
    // height * 0.75 * scale.
    const std::vector<RecordedVector> labels(v.begin() + 4, v.end());
    rec.clear();
    draw_text(s, 'Q', 10 + 2 * 4.5F, 1 + 2 * 0.45F, 3.0F, 0.0F, "AB");
    draw_text(s, 'Q', 10 + 4 * 4.5F, 1 + 4 * 0.45F, 3.0F, 1.0F, "C");
    const auto want = rec.vectors();
    ASSERT_FALSE(labels.empty());
    ASSERT_EQ(labels.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        EXPECT_NEAR(labels[i].x, want[i].x, 1e-4F) << i;
        EXPECT_NEAR(labels[i].y, want[i].y, 1e-5F) << i;
        EXPECT_EQ(labels[i].pen, want[i].pen) << i;
    }
}

TEST_F(Subplot, MissingFileAndAskedName) {
    picture();
    run("SUBPLO nothere");
    EXPECT_EQ(out.str(), " Unable to open nothere.sub for input.\a\n");
    run("SUBPLO", "other.plt\n");
    EXPECT_EQ(out.str(), " Filename containing subplot >  Unable to open other.plt for input.\a\n");
    run("SUBPLO", "\n");
    EXPECT_EQ(out.str(), " Filename containing subplot > ");
    std::filesystem::create_directory("dir.sub");
    run("SUBPLO dir.sub");
    EXPECT_EQ(out.str(), " Unable to open dir.sub for input.\a\n");
}

TEST_F(Subplot, BadRecordEndsTheDrawing) {
    picture();
    write("bad.sub", "T\n0 0 3\n1 1 2\nx y 2\n2 2 2\n");
    run("SUBPLO bad.sub", "\n\n");
    EXPECT_EQ(rec.count(RecordedEvent::Vector), 2);
    EXPECT_EQ(rec.count(RecordedEvent::End), 1);
}

} // namespace
} // namespace tarva
