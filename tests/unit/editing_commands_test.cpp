// The data editing commands on small data sets whose results are known by
// hand: logarithms, derivative, rescaling and calibration, point edits,
// error bars, rotation, elimination and noise.
#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "command_fixture.h"
#include "commands/commands.h"
#include "session/session.h"

namespace tarva {
namespace {

struct Editing : testing_support::CommandFixture {
    using V = std::vector<float>;
};

TEST_F(Editing, LogOfEitherAxis) {
    points({10, 1e-30f, 1000}, {100, 0, -5}, {7, 7, 7});
    EXPECT_EQ(run("LOG/Y"), " Log taken of y-values, y-error unchanged.\n");
    EXPECT_EQ(ys(), (V{2, 0, 0}));
    EXPECT_EQ(es(), (V{7, 7, 7}));
    EXPECT_EQ(s.data.log_y + s.data.log_scale_y + s.data.log_x + s.data.log_scale_x, 2);
    EXPECT_EQ(run("ALOG", "x\n"), " Axis for taking log (CR for none) >  Log taken of x-values.\n");
    EXPECT_EQ(xs(), (V{1, 0, 3}));
    EXPECT_EQ(s.data.log_x + s.data.log_scale_x, 2);
    EXPECT_EQ(run("LOG", "\n"), " Axis for taking log (CR for none) >  Can't identify axis, require LOG/X or LOG/Y\n");
    EXPECT_EQ(run("LOG/Q"), " Can't identify axis, require LOG/X or LOG/Y\n");
    EXPECT_EQ(xs(), (V{1, 0, 3}));
}

TEST_F(Editing, DerivativeReplacesNeighbourPairs) {
    points({0, 1, 3}, {0, 2, 2}, {1, 1, 3});
    EXPECT_EQ(run("DERIV"), " Derivative taken of data.\n\n");
    EXPECT_EQ(xs(), (V{0.5f, 2}));
    EXPECT_EQ(ys(), (V{2, 0}));
    EXPECT_EQ(es(), (V{1, 1}));
    points({1, 1, 2}, {0, 5, 7});
    EXPECT_EQ(run("DERIV"), " Infinite derivative at point    2\n Derivative taken of data.\n\n");
    EXPECT_EQ(ys(), (V{0, 2}));
    EXPECT_EQ(es(), (V{0, 1}));
    // One point has no derivative: it stays.
    points({4}, {5});
    EXPECT_EQ(run("DERIV"), " Too few data points for this!\n\n");
    EXPECT_EQ(s.data.count, 1);
}

TEST_F(Editing, TwoMarkerCalibration) {
    points({100, 150, 200}, {1, 2, 3});
    s.markers.x[0] = 100;
    s.markers.x[1] = 200;
    EXPECT_EQ(run("XMODIF/C", "1\n3\n"),
              " Calibrate the X-axis.\n Actual value of marker 1 >  Actual value of marker 2 > "
              " Calibration: Xnew =  2.00000E-02*Xold +  -1.0000    \n"
              " Don't forget to change the X-axis label (CAP/X).\n\n");
    EXPECT_EQ(xs(), (V{1, 2, 3}));
    EXPECT_FLOAT_EQ(s.data.experiment.energy_per_channel(), 0.02f);
    EXPECT_FLOAT_EQ(s.data.experiment.energy_offset(), -1.0f);
    // Both values at the first prompt; an empty second answer keeps the
    // second value; a bad answer is asked again.
    points({100, 200}, {1, 2});
    run("XMODIF/C", "5 7\nx\n\n");
    EXPECT_EQ(xs(), (V{5, 7}));
    const std::string same = run("XMODIF/C", "4\n4\n");
    EXPECT_NE(same.find(" Both markers given same value, calibration aborted.\n\n"), std::string::npos);
    s.markers.x[1] = 100;
    EXPECT_NE(run("XMODIF/C", "1\n3\n").find(" Both markers in the same position, unable to calibrate.\n\n"),
              std::string::npos);
    EXPECT_EQ(xs(), (V{5, 7}));
    EXPECT_FLOAT_EQ(s.data.experiment.energy_offset(), 3.0f);
}

TEST_F(Editing, RescaleXAboveOrBelowAThreshold) {
    points({1, 2, 3}, {10, 20, 30});
    EXPECT_EQ(run("XMODIF", "2 1\n"), " Scale the X coordinates\n New X = A*(Old X) + B :  A, B > ");
    EXPECT_EQ(xs(), (V{3, 5, 7}));
    run("XMODIF/S 20", "10\n");
    EXPECT_EQ(xs(), (V{3, 50, 70}));
    EXPECT_EQ(run("XMODIF/I", "15\n0 1\n"), " Maximum Y-coordinate to apply transform >  Scale the X coordinates\n"
                                            " New X = A*(Old X) + B :  A, B > ");
    EXPECT_EQ(xs(), (V{1, 50, 70}));
    // A threshold of zero at the prompt gives up.
    EXPECT_EQ(run("XMODIF/S", "0\n"), " Minimum Y-coordinate to apply transform > ");
    EXPECT_EQ(xs(), (V{1, 50, 70}));
}

TEST_F(Editing, DivideAndRescaleY) {
    points({1, 2}, {4, -6}, {2, 8});
    s.data.experiment.normalisation() = 3;
    EXPECT_EQ(run("YMODIF/D 2"), " Y-axis divided by    2.0000    \n\n");
    EXPECT_EQ(ys(), (V{2, -3}));
    EXPECT_EQ(es(), (V{1, 4}));
    EXPECT_FLOAT_EQ(s.data.experiment.normalisation(), 1.5f);
    EXPECT_EQ(run("YMODIF/D", "0\n"), " Number to divide the y-axis > ");
    EXPECT_EQ(ys(), (V{2, -3}));
    EXPECT_EQ(run("YMODIF/S", "2\n-2 1\n"),
              " Minimum X-coordinate to apply transform >  Scale the Y coordinates\n New Y = A*(Old Y) + B : A, B > ");
    EXPECT_EQ(ys(), (V{2, 7}));
    EXPECT_EQ(es(), (V{1, -8}));
    EXPECT_FLOAT_EQ(s.data.experiment.normalisation(), -3.0f);
    run("YMODIF", "\n");
    EXPECT_EQ(ys(), (V{2, 7}));
}

TEST_F(Editing, DeleteAndAppendPoints) {
    points({1, 2, 3, 4, 5}, {10, 20, 30, 40, 50});
    EXPECT_EQ(run("MODIFY/D 3"), " Data point    3 deleted.\n\n");
    EXPECT_EQ(xs(), (V{1, 2, 4, 5}));
    EXPECT_EQ(run("MODIFY/D 5"), "");
    EXPECT_EQ(s.data.count, 4);
    points({1, 2, 3, 4, 5}, {10, 20, 30, 40, 50});
    EXPECT_EQ(run("MODIFY/F", "2\n"), " Data point number to modify >  First    2 data points deleted.\n\n");
    EXPECT_EQ(ys(), (V{30, 40, 50}));
    EXPECT_EQ(run("MODIFY/F", "\n"), " Data point number to modify > ");
    EXPECT_EQ(s.data.count, 3);
    EXPECT_EQ(run("MODIFY 9", "7 8 9\n"), " Point   4: X=   0.0000     Y=   0.0000     Sigma=   0.0000     New > ");
    EXPECT_EQ(xs(), (V{3, 4, 5, 7}));
    EXPECT_EQ(es(), (V{1, 1, 1, 9}));
}

TEST_F(Editing, EditedPointKeepsWhatIsLeftOut) {
    points({1, 2}, {10, 20}, {1, 2});
    run("MODIFY 2", "7,,8\n");
    EXPECT_EQ(xs(), (V{1, 7}));
    EXPECT_EQ(ys(), (V{10, 20}));
    EXPECT_EQ(es(), (V{1, 8}));
    run("MODIFY 1", "x\n5 /\n");
    EXPECT_EQ(xs(), (V{5, 7}));
    EXPECT_EQ(ys(), (V{10, 20}));
    run("MODIFY 1", "\n");
    EXPECT_EQ(xs(), (V{5, 7}));
}

TEST_F(Editing, AppendStopsAtCapacity) {
    std::vector<float> x(kMaxPoints, 1.0f);
    points(x, x);
    EXPECT_EQ(run("MODIFY 2000"), " Data set full (1024 points), no point added.\n\n");
    EXPECT_EQ(s.data.count, kMaxPoints);
    // Point numbers above 999 are shown in full.
    EXPECT_EQ(run("MODIFY 1000", "\n").substr(0, 17), " Point 1000: X=  ");
}

TEST_F(Editing, ErrorBars) {
    EXPECT_EQ(run("ERROR/S"), "");
    points({1, 2, 3}, {0.25f, -16, 400}, {1, 2, 0});
    EXPECT_EQ(run("ERROR/L"), " Non-zero error bars set to 3 (fun 9 plot option).\n");
    EXPECT_EQ(es(), (V{3, 3, 0}));
    EXPECT_EQ(run("ERROR/R"), " All errors set to the average error   2.0000    \n\n");
    EXPECT_EQ(es(), (V{2, 2, 2}));
    EXPECT_EQ(run("ERROR/S"), " Statistical errors, New error = sqrt(Y)\n\n");
    EXPECT_EQ(es(), (V{1, 4, 20}));
    EXPECT_EQ(run("ERROR/P", "10\n"), " New error = A% of Y, A% > ");
    EXPECT_EQ(es(), (V{0.025f, -1.6f, 40}));
    EXPECT_EQ(run("ERROR", "2 1\n"), " New error = A*(Old error) + B, A, B > ");
    EXPECT_EQ(es(), (V{1.05f, -2.2f, 81}));
    EXPECT_EQ(run("ERROR/Z"), " All errors set to zero.\n\n");
    EXPECT_EQ(es(), (V{0, 0, 0}));
}

TEST_F(Editing, SwapExchangesAxesAndLabels) {
    points({1, 2}, {3, 4}, {5, 6});
    s.data.x_label = "Energy";
    run("SWAP");
    EXPECT_EQ(xs(), (V{3, 4}));
    EXPECT_EQ(ys(), (V{1, 2}));
    EXPECT_EQ(es(), (V{5, 6}));
    EXPECT_EQ(s.data.x_label.trimmed(), "Y");
    EXPECT_EQ(s.data.y_label.trimmed(), "Energy");
    s.data.dimensions = 2;
    EXPECT_EQ(run("SWAP"), " Data unsuitable for this command.\n\n");
    EXPECT_EQ(xs(), (V{3, 4}));
}

TEST_F(Editing, CaptionAndLabels) {
    s.data.caption = "Run 5";
    EXPECT_EQ(run("CAPTIO/A", " corrected\n"),
              "                  Current title\n Run 5\n                  String to be appended\n > ");
    EXPECT_EQ(s.data.caption.trimmed(), "Run 5 corrected");
    run("CAPTIO", "   \n");
    EXPECT_EQ(s.data.caption.trimmed(), "Run 5 corrected");
    run("CAPTIO", "\tx\n");
    EXPECT_TRUE(s.data.caption.blank());
    EXPECT_EQ(run("CAPTIO", "New run\n"),
              "                  Current title\n  \n                  New title (<CR> to retain)\n > ");
    EXPECT_EQ(s.data.caption.trimmed(), "New run");
    run("CAPTIO/Y", "Counts\n");
    EXPECT_EQ(s.data.y_label.trimmed(), "Counts");
    EXPECT_EQ(s.data.caption.trimmed(), "New run");
    run("CAPTIO/A", std::string(120, 'z') + "\n");
    EXPECT_EQ(s.data.caption.trimmed(), "New run" + std::string(93, 'z'));
}

TEST_F(Editing, ValuesListing) {
    EXPECT_EQ(run("VALUES"), "  ( N  )       X             Y        SIGMA\n\n");
    std::vector<float> x{1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    points(x, x);
    EXPECT_EQ(run("VALUES 3"), "  ( N  )       X             Y        SIGMA\n\n"
                               "    1     1.0000    ,   1.0000    ,   1.0000    \n"
                               "    2     2.0000    ,   2.0000    ,   1.0000    \n"
                               "    3     3.0000    ,   3.0000    ,   1.0000    \n");
    points({1e-3f}, {-2e6f}, {0});
    s.data.log_x = s.data.log_scale_x = 1;
    EXPECT_EQ(run("VALUES 20"), " X axis interpreted as a log scale.\n\n"
                                " Log has been taken of x coordinates.\n"
                                "  ( N  )       X             Y        SIGMA\n\n"
                                "    1    1.00000E-03, -2.00000E+06,   0.0000    \n");
}

TEST_F(Editing, RotateAboutOriginOrMarker) {
    points({1, 0}, {0, 2});
    EXPECT_EQ(run("ROTATE 90"), " DATA ROTATED BY     90.000 DEGREES.\n\n");
    EXPECT_NEAR(s.data.X[0], 0, 1e-6);
    EXPECT_FLOAT_EQ(s.data.Y[0], 1);
    EXPECT_FLOAT_EQ(s.data.X[1], -2);
    EXPECT_EQ(run("ROTATE", "0\n"), " ROTATE THE DATA, ANGLE (DEG). > ");
    EXPECT_FLOAT_EQ(s.data.X[1], -2);
    // Plot window 4 wide and 2 high at aspect 1: one Y unit looks like two
    // X units, so a quarter turn of (2, 1) about (1, 1) gives (1, 1.5).
    points({2}, {1});
    s.markers.x[0] = 1;
    s.markers.y[0] = 1;
    s.graphics.xmin = 0;
    s.graphics.xmax = 4;
    s.graphics.ymin = 0;
    s.graphics.ymax = 2;
    s.graphics.aspect = 1;
    EXPECT_EQ(run("ROTATE/M 90"), " DATA ROTATED BY     90.000 DEGREES.\n ABOUT:    1.0000       1.0000    \n\n");
    EXPECT_FLOAT_EQ(s.data.X[0], 1);
    EXPECT_FLOAT_EQ(s.data.Y[0], 1.5);
    s.graphics.ymax = 0;
    EXPECT_EQ(run("ROTATE/M 90"), " X or Y range is zero.\n");
    EXPECT_FLOAT_EQ(s.data.Y[0], 1.5);
}

TEST_F(Editing, EliminateOutsideThePlotWindow) {
    points({1, 2, 3, 4}, {10, 20, 30, 40});
    s.graphics.xmin = 2;
    s.graphics.xmax = 3;
    EXPECT_EQ(run("ELIMIN"), " Eliminating points with X less than   2.0000    \n or greater than   3.0000    \n"
                             "    2 points removed from data file.\n NOT DEBUGGED.\n");
    EXPECT_EQ(ys(), (V{20, 30}));
    s.graphics.xmax = 2;
    EXPECT_EQ(run("ELIMIN"), " X-range zero or XMAX less than XMIN.\a\n");
    EXPECT_EQ(s.data.count, 2);
}

TEST_F(Editing, FuzzIsTheSameEveryTime) {
    points({1, 2, 3}, {100, 0, -16});
    EXPECT_EQ(run("FUZZ"), " Data fuzzed.\n\n");
    // The first three numbers of the sequence are 0.76788, 0.55970, 0.99430.
    EXPECT_EQ(ys(), (V{105.35759735107422f, 0, -12.045598983764648f}));
    points({1, 2, 3}, {100, 0, -16});
    run("FUZZ");
    EXPECT_EQ(ys(), (V{105.35759735107422f, 0, -12.045598983764648f}));
}

} // namespace
} // namespace tarva
