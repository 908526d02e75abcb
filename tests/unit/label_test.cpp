// LABEL: messages, positions, justification, substitution and the record
// kept for OUT.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "command_fixture.h"
#include "commands/graphics/label_command.h"
#include "graphics/drivers/recording_driver.h"
#include "graphics/text.h"
#include "plot/drawing.h"
#include "plot/plot.h"
#include "session/session.h"

namespace tarva {
namespace {

struct Label : testing_support::PictureFixture {
    // First drawn point of the label "L" placed by the last command: the top
    // of its stem, 6 glyph units above the origin.
    RecordedVector first() const {
        const auto v = rec.vectors();
        return v.empty() ? RecordedVector{NAN, NAN, 0} : v.front();
    }
};

TEST_F(Label, SizeFactorAndLogFlags) {
    run("LABEL/I", "0.5\n");
    EXPECT_EQ(out.str(), " Current size factor 1.000 new >  Size factor set to 0.500\n");
    EXPECT_FLOAT_EQ(s.fonts.label_size, 0.5F);
    out.str("");
    run("LABEL/I  2");
    EXPECT_EQ(out.str(), " Size factor set to 2.000\n");
    out.str("");
    std::string said = run("LABEL/E Y");
    said += run("LABEL/E x");
    said += run("LABEL/D Y");
    said += run("LABEL/D X");
    said += run("LABEL/E Q");
    EXPECT_EQ(said, " Log taken of Y label coordinates.\n Log taken of X label coordinates.\n"
                    " Log of Y label coordinates reset to Y.\n Log of X label coordinates reset to X.\n");
    EXPECT_FALSE(s.fonts.label_log_x);
    EXPECT_TRUE(s.interp.labels.empty());
}

TEST_F(Label, NoPictureNoLabel) {
    run("LABEL", "1,1\n");
    EXPECT_EQ(out.str(), " No plot current!\n");
    EXPECT_TRUE(s.interp.labels.empty());
}

TEST_F(Label, TypedPositionSizeAndRecord) {
    picture();
    run("LABEL", "20,5\n\n2\nL\n");
    EXPECT_EQ(out.str(),
              " Label position (X,Y) >  Orientation (degrees, CR for 0) >    Character size (CR for 1.000) > "
              " Label (130 characters max.) > ");
    // Plot unit 2.25 by 0.225; size 2 * 0.75 = 1.5: glyph unit 0.675 by 0.0675.
    const RecordedVector p = first();
    EXPECT_NEAR(p.x, 20, 1e-4);
    EXPECT_NEAR(p.y, 5 + 6 * 0.0675F, 1e-4);
    ASSERT_EQ(s.interp.labels.size(), 5U);
    EXPECT_EQ(trimmed(s.interp.labels[0]), "LABEL");
    EXPECT_EQ(trimmed(s.interp.labels[1]), "20,5");
    EXPECT_EQ(trimmed(s.interp.labels[2]), "");
    EXPECT_EQ(trimmed(s.interp.labels[3]), "2");
    EXPECT_EQ(trimmed(s.interp.labels[4]), "L");
    EXPECT_EQ(s.interp.labels[4].size(), 130U);
}

TEST_F(Label, MarkersDataPointsAndEdges) {
    picture();
    s.markers.x[5] = 40;
    s.markers.y[5] = 3;
    run("LABEL/6", "\n\nL\n");
    EXPECT_NEAR(first().x, 40, 1e-4);
    rec.clear();
    s.data.count = 2;
    s.data.X[0] = -5;
    s.data.Y[0] = 20;
    s.data.X[1] = 70;
    s.data.Y[1] = 4;
    run("LABEL/A", "\n\nL\n");
    // Limited to the old limits: (0, 10).
    EXPECT_NEAR(first().x, 0, 1e-4);
    EXPECT_NEAR(first().y, 10 + 6 * 0.03375F, 1e-4);
    rec.clear();
    run("LABEL/B", "\n\nL\n");
    EXPECT_NEAR(first().x, 70, 1e-4);
    rec.clear();
    out.str("");
    run("LABEL/T", "30\n\n\nL\n");
    EXPECT_EQ(out.str().substr(0, 37), " Y coordinate set to   10. X coordina");
    EXPECT_NEAR(first().x, 30, 1e-4);
    EXPECT_NEAR(first().y, 10 + 6 * 0.03375F, 1e-4);
    rec.clear();
    out.str("");
    run("LABEL/R", "2\n\n\nL\n");
    EXPECT_EQ(out.str().substr(0, 38), " X coordinate set to   100. Y coordina");
    EXPECT_NEAR(first().x, 100, 1e-4);
    rec.clear();
    s.markers.x[0] = 10;
    s.markers.y[0] = 1;
    run("LABEL/N", "5,2\n\n\nL\n");
    EXPECT_NEAR(first().x, 15, 1e-4);
    EXPECT_NEAR(first().y, 3 + 6 * 0.03375F, 1e-4);
}

TEST_F(Label, CentredAndRightAligned) {
    picture();
    const float w = text_width(s, 0.75F, "LL");
    run("LABEL/C", "50,5\n\n\nLL\n");
    EXPECT_NEAR(first().x, 50 - w / 2, 1e-4);
    rec.clear();
    run("LABEL/S", "50,5\n\n\nLL\n");
    EXPECT_NEAR(first().x, 50 - w, 1e-4);
    rec.clear();
    run("LABEL/V", "50\n\n\nLL\n");
    EXPECT_NEAR(first().x, 50 - w, 1e-4);
    rec.clear();
    // Turned by 90 degrees: the shift runs along Y, scaled by uy/ux.
    run("LABEL/S", "50,5\n90\n\nLL\n");
    const RecordedVector p = first();
    EXPECT_NEAR(p.y, 5 - w * 0.1F, 1e-3);
}

TEST_F(Label, LogCoordinates) {
    picture();
    run("LABEL/E X");
    run("LABEL/E Y");
    run("LABEL", "100,1000\n\n\nL\n");
    EXPECT_NEAR(first().x, 2, 1e-4);
    EXPECT_NEAR(first().y, 3 + 6 * 0.03375F, 1e-4);
    rec.clear();
    // Not positive: kept as typed.
    run("LABEL", "-5,0\n\n\nL\n");
    EXPECT_NEAR(first().x, -5, 1e-4);
    rec.clear();
    // Far beyond single precision: held at 1e30, finite.
    run("LABEL/D X");
    run("LABEL", "-1e300,0\n\n\nL\n");
    EXPECT_TRUE(std::isfinite(first().x));
}

TEST(LabelSubstitution, ParameterNamesAndValues) {
    FitState fit;
    fit.set_param_name(2, "Height");
    fit.value[2] = 12.5;
    fit.set_param_name(11, "Width");
    fit.value[11] = -1.5e-7;
    fit.value[0] = 1e-25;
    fit.set_param_name(0, "Pos");
    EXPECT_EQ(substitute_parameters("Peak &&3", fit), "Peak Height =   12.500    ");
    EXPECT_EQ(substitute_parameters("&&12!", fit), "Width = -1.50000E-07!");
    EXPECT_EQ(substitute_parameters("&&1", fit), "Pos =          0.0");
    // Out of range or without digits: left as typed.
    EXPECT_EQ(substitute_parameters("&&0 && &&51x", fit), "&&0 && &&51x");
    // At most 50 substitutions, at most 130 characters.
    std::string many;
    for (int i = 0; i < 60; ++i) many += "&&3";
    EXPECT_LE(substitute_parameters(many, fit).size(), 130U);
}

} // namespace
} // namespace tarva
