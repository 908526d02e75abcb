// SPECIA: the point transforms, the grid-shadow and multipole evaluations
// and the three writers, run in-process with scripted answers.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>
#include <vector>

#include "command_fixture.h"

namespace tarva {
namespace {

namespace fs = std::filesystem;

struct Special : testing_support::ScratchCommandFixture {
    // F(x) = 1 + 2x.
    void straight_line() {
        s.fit.function = 2;
        s.fit.nparams = 3;
        s.fit.value[0] = 1.0;
        s.fit.value[1] = 0.0;
        s.fit.value[2] = 2.0;
    }
    float X(int i) const { return s.data.X[static_cast<std::size_t>(i)]; }
    float Y(int i) const { return s.data.Y[static_cast<std::size_t>(i)]; }
    float E(int i) const { return s.data.SIGMA[static_cast<std::size_t>(i)]; }
};

TEST_F(Special, SquareAndCumulativeCarryTheErrors) {
    points({1, 2, 3}, {3, 2, -1}, {0.5f, 1, 2});
    EXPECT_EQ(run("SPECIA/5"), " Y replaced by Y**2\n Yerr replaced by 2*oldY*oldYerr\n");
    EXPECT_EQ(Y(0), 9.0f);
    EXPECT_EQ(E(0), 3.0f);
    EXPECT_EQ(E(2), -4.0f); // 2*oldY*oldYerr keeps the sign of Y
    points({1, 2, 3}, {1, 2, 3}, {0.5f, 0.5f, 1});
    EXPECT_EQ(run("SPECIA/C"), " Y replaced by cumulative(Y),\n  ErrY replaced by cumulative(ErrY).\n");
    EXPECT_EQ((std::vector<float>{Y(0), Y(1), Y(2)}), (std::vector<float>{1, 3, 6}));
    EXPECT_EQ((std::vector<float>{E(0), E(1), E(2)}), (std::vector<float>{0.5f, 1, 2}));
}

TEST_F(Special, PairAveragesDropALastSinglePoint) {
    points({1, 2, 5, 8, 9}, {10, 20, 30, 50, 99}, {1, 1, 1, 1, 1});
    EXPECT_EQ(run("SPECIA/G"), " Data averaged in pairs, y-error is difference in x-pairs.\n"
                               " Error bar (+/-  1.0000    ) is average difference between x-pairs.\n");
    ASSERT_EQ(s.data.count, 2);
    EXPECT_EQ(X(0), 1.5f);
    EXPECT_EQ(Y(0), 15.0f);
    EXPECT_EQ(X(1), 6.5f);
    EXPECT_EQ(Y(1), 40.0f);
    EXPECT_EQ(E(0), 1.0f); // mean of |1-2|/2 and |5-8|/2
    EXPECT_EQ(E(1), 1.0f);
    // A single point makes no pair: nothing changes (no 0/0 error bar).
    points({1}, {2}, {3});
    EXPECT_NE(run("SPECIA/G").find("Not enough data points"), std::string::npos);
    EXPECT_EQ(s.data.count, 1);
    EXPECT_EQ(E(0), 3.0f);
}

TEST_F(Special, EnergyToAtomicMass) {
    points({2000, 0, 1000, -50}, {1, 1, 1, 1}, {0, 0, 0, 0});
    run("SPECIA/R", "2000\n170\n4.0026\n");
    EXPECT_EQ(X(0), 0.0f); // k = 1: the pole
    EXPECT_NEAR(X(1), 4.0026f, 1e-6f);
    // k = 1/2: m (1.5 - sqrt(2) cos 170) / 0.5
    EXPECT_NEAR(X(2), 4.0026 * (1.5 + std::sqrt(2.0) * std::cos(10.0 * 3.14159265358979 / 180.0)) / 0.5, 1e-3);
    EXPECT_EQ(X(3), 0.0f); // a negative energy has no mass (no NaN)
    EXPECT_EQ(s.data.x_label.trimmed(), "Atomic Mass");
    // The defaults answer blank prompts; QU stops before anything changes.
    points({1000}, {1}, {0});
    run("SPECIA/R", "\n\n\n");
    EXPECT_NEAR(X(0), 4.0026 * (1.5 + std::sqrt(2.0) * std::cos(10.0 * 3.14159265358979 / 180.0)) / 0.5, 1e-3);
    points({1000}, {1}, {0});
    s.data.x_label = "Energy";
    const std::string out = run("SPECIA/R", "QU\n");
    EXPECT_EQ(
        out,
        " Change the X-axis (Energy) into atomic mass\n\n  Initial beam energy in X-axis units (2000). QU to abort > ");
    EXPECT_EQ(X(0), 1000.0f);
    EXPECT_EQ(s.data.x_label.trimmed(), "Energy");
}

TEST_F(Special, GridShadowPeriods) {
    std::vector<float> x, y, e(10, 0.0f);
    for (int i = 0; i < 10; ++i) {
        x.push_back(static_cast<float>(i * 2));
        y.push_back(static_cast<float>(i * i));
    }
    points(x, y, e);
    s.data.y_label = "Shadow";
    EXPECT_EQ(run("SPECIA/I", "n\n"), " Is the data in order of ascending y? > ");
    EXPECT_EQ(s.data.count, 10);
    EXPECT_EQ(run("SPECIA/I", "y\n"),
              " Is the data in order of ascending y? >  Data converted to grid shadow periods (alternative method).\n");
    ASSERT_EQ(s.data.count, 8);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(Y(i), static_cast<float>((i + 2) * (i + 2) - i * i));
        EXPECT_EQ(X(i), static_cast<float>((i * i + (i + 2) * (i + 2)) / 2));
        EXPECT_EQ(E(i), 2.0f); // |X(i+2) - X(i)|/2
    }
    EXPECT_EQ(s.data.x_label.trimmed(), "Position along shadow Shadow");
    EXPECT_EQ(s.data.y_label.trimmed(), "Period Shadow");

    points({0, 1, 4, 7}, {5, 3, 10, 4}, {0, 0, 0, 0});
    EXPECT_EQ(run("SPECIA/H"), " Data converted to grid shadow periods.\n");
    ASSERT_EQ(s.data.count, 2);
    EXPECT_EQ(X(0), 4.0f);
    EXPECT_EQ(Y(0), 2.0f);
    EXPECT_EQ(X(1), 7.0f);
    EXPECT_EQ(Y(1), 6.0f);
    EXPECT_EQ(E(0), 1.0f); // mean of 0.5 and 1.5
}

TEST_F(Special, TransformsAgainstTheModel) {
    straight_line();
    points({1, -0.5f, 2}, {4, 7, 10}, {1, 1, 2});
    run("SPECIA/7");
    EXPECT_EQ((std::vector<float>{Y(0), Y(1), Y(2)}), (std::vector<float>{1, 7, 5}));
    points({1, -0.5f, 2}, {4, 7, 10}, {1, 1, 2});
    EXPECT_EQ(run("SPECIA/8"), " Replace X with 100*(Y-F(X))/Y  (% error transform)\n"
                               " Zero F(X) value at data point     2\n");
    EXPECT_FLOAT_EQ(Y(0), 100.0f / 3.0f);
    EXPECT_FLOAT_EQ(E(0), 100.0f / 3.0f);
    EXPECT_EQ(Y(1), 0.0f);
    EXPECT_EQ(E(1), 0.0f);
    EXPECT_EQ(Y(2), 100.0f);
    points({1, -0.5f, 2}, {6, 7, 10}, {3, 1, 2});
    run("SPECIA/B");
    EXPECT_EQ((std::vector<float>{Y(0), Y(1), Y(2)}), (std::vector<float>{2, 0, 2}));
    EXPECT_EQ((std::vector<float>{E(0), E(1), E(2)}), (std::vector<float>{1, 1, 0.4f}));
}

TEST_F(Special, CoordinateChanges) {
    points({1, -1, 0}, {2, 4, 5}, {1, 1, 1});
    EXPECT_EQ(run("SPECIA/1", "1 2\n3\n"),
              " Replace X with ( (X+A)**2 )*DK, A, DK >          Replace Y with (Y+B)/(X+A), B >"
              "  X replaced with    2.0000    *(X+   1.0000    )**2\n"
              " Y replaced with  (Y+   3.0000    )/(X+   1.0000    )\n\n");
    EXPECT_EQ(X(0), 8.0f);
    EXPECT_EQ(Y(0), 2.5f);
    EXPECT_EQ(E(0), 0.5f);
    EXPECT_EQ(X(1), 0.0f); // X + A = 0: Y goes to 0
    EXPECT_EQ(Y(1), 0.0f);
    EXPECT_EQ(X(2), 2.0f);

    points({100, -0.001f, 0}, {1, 1, 1}, {0, 0, 0});
    s.data.x_label = "E";
    EXPECT_EQ(run("SPECIA/X"), "  X replaced by sign(X)*log(X)\n");
    EXPECT_EQ(X(0), 2.0f);
    EXPECT_EQ(X(1), 3.0f); // sign(X) times log10|X|, as written
    EXPECT_EQ(X(2), 0.0f); // no infinity for X = 0
    EXPECT_EQ(s.data.x_label.trimmed(), "SIGN*(LOG(E)");

    points({90, 0}, {2, 3}, {1, 1});
    run("SPECIA/P");
    EXPECT_NEAR(X(0), 0.0f, 1e-6f);
    EXPECT_FLOAT_EQ(Y(0), 2.0f);
    EXPECT_FLOAT_EQ(X(1), 3.0f);
    EXPECT_EQ(E(1), 0.0f);

    points({2, 0}, {1, 1}, {0, 0});
    EXPECT_EQ(run("SPECIA/A", "x\n8\n"), " Replace X with A/X, A >  Replace X with A/X, A > ");
    EXPECT_EQ(X(0), 4.0f);
    EXPECT_EQ(X(1), 0.0f);

    points({2}, {1}, {0});
    run("SPECIA/Q", "1,2,3\n");
    EXPECT_EQ(X(0), 17.0f);
}

TEST_F(Special, ErrorBarRewrites) {
    points({-1, 1, 2}, {-4, -9, 16}, {1, 2, 0});
    s.data.y_label = "";
    EXPECT_EQ(run("SPECIA/D n"), " Negative Y values set to zero.\n Errors not changed.\n");
    EXPECT_EQ(E(1), 2.0f);
    points({-1, 1, 2}, {-4, -9, 16}, {1, 2, 8});
    run("SPECIA/D");
    EXPECT_EQ(Y(1), 0.0f);
    EXPECT_EQ(E(1), 0.0f);
    run("SPECIA/E");
    EXPECT_EQ(Y(2), 4.0f);
    EXPECT_EQ(E(2), 1.0f);
    EXPECT_EQ(E(0), 0.0f);
    EXPECT_EQ(s.data.y_label.trimmed(), "sqrt()");
    points({-1, 1}, {3, 3}, {4, 0});
    run("SPECIA/N");
    EXPECT_EQ(E(0), 0.25f);
    EXPECT_EQ(E(1), 0.0f);
    run("SPECIA/F");
    EXPECT_EQ(Y(0), 0.0f);
    EXPECT_EQ(Y(1), 3.0f);
}

TEST_F(Special, MultipoleScaledToTheQuadrupole) {
    points({1, 2, 3}, {8, 2, 1}, {0, 0, 0});
    run("SPECIA/J", "2 1\n");
    EXPECT_EQ(Y(0), 200.0f); // 8 * 2^0 relative to 2 * 2^1
    EXPECT_EQ(Y(1), 100.0f);
    EXPECT_EQ(Y(2), 100.0f);
    EXPECT_EQ(s.data.y_label.trimmed(), "% Field Component on Pole Tip");
    EXPECT_EQ(s.data.x_label.trimmed(), "Field Index");
    points({1, 2.5f}, {4, 0}, {0, 0});
    const std::string out = run("SPECIA/J", "1 1\n");
    EXPECT_NE(out.find(" Bad or missing quadrupole harmonic,\n error =  0.50000    ... continuing...\n"
                       " Quadrupole component zero!\x07\n"),
              std::string::npos);
    points({1}, {4}, {0});
    EXPECT_NE(run("SPECIA/J", "1 0\n").find(" Coil radius must be non-zero\n\n"), std::string::npos);
    EXPECT_EQ(Y(0), 4.0f);
}

TEST_F(Special, MultipletGridShadow) {
    points({-2, 0.5f, 1}, {3, 6, 9}, {0, 0, 0});
    s.data.caption = "Scan";
    const std::string out = run("SPECIA/K", "10\ny\na\n");
    EXPECT_NE(out.find("Y-grid =  -5.0000     micron\n"), std::string::npos);
    EXPECT_NE(out.find(" X shadow plane coordinate   6.0000     mm.\n"), std::string::npos);
    // p = 0.01 mm, aperture offset 0.005, nearest grid line at point 2.
    EXPECT_FLOAT_EQ(Y(0), -0.005f / -2.0f);
    EXPECT_FLOAT_EQ(Y(1), 0.005f / 0.5f);
    EXPECT_FLOAT_EQ(Y(2), 0.015f / 1.0f);
    EXPECT_EQ(X(0), 4.0f);
    EXPECT_EQ(s.data.caption.trimmed(), "x^ds^r =   6.0000     mm Scan");
    EXPECT_EQ(s.data.y_label.trimmed(), "Y^ds^r/Y^dg^r");
}

TEST_F(Special, FunctionTable) {
    straight_line();
    EXPECT_EQ(run("SPECIA F", "tab\n0,1,0.25\no\n"),
              " Write a file of X, F(X) ordered pairs.\n\n Filename for output (CR to abort) >"
              "  Output in file tab.dat\n\n Xinitial, Xfinal, Xstep (0,0,0 to abort) > "
              " Write (x,y) ordered pairs (O) or just y (Y) >           5 ordered pairs generated.\n"
              " From X =   0.0000     to X =   1.0000    \n\n");
    EXPECT_EQ(testing_support::read_file("tab.dat"), "    0.0000    ,   1.0000    \n   0.25000    ,   1.5000    \n"
                                                     "   0.50000    ,   2.0000    \n   0.75000    ,   2.5000    \n"
                                                     "    1.0000    ,   3.0000    \n");
    // Name and step count on the line; lower-case letter; just y.
    const std::string out = run("SPECIA f longname.x 2", "1 2\ny\n");
    EXPECT_NE(out.find("Output in file longna.dat"), std::string::npos);
    EXPECT_NE(out.find("Step size =  0.50000    \n"), std::string::npos);
    EXPECT_EQ(testing_support::read_file("longna.dat"), "   3.0000    \n   4.0000    \n   5.0000    \n");
    // An abort leaves the earlier file as it was; a zero step never ends, so it is refused.
    run("SPECIA F tab", "0 0 0\n");
    const std::string zero_step = run("SPECIA F tab", "0 1 0\n");
    EXPECT_EQ(testing_support::read_file("tab.dat").size(), 5u * 29u);
    EXPECT_NE(zero_step.find("The step must be positive."), std::string::npos);
    EXPECT_EQ(run("SPECIA F", "\n"),
              " Write a file of X, F(X) ordered pairs.\n\n Filename for output (CR to abort) > ");
}

TEST_F(Special, DataFilesReadBackByData) {
    straight_line();
    points({1, 2.5f}, {10, -20}, {0.5f, 1});
    s.data.caption = "Run ";
    s.data.x_label = "E";
    s.data.y_label = "C";
    EXPECT_EQ(run("SPECIA g", "out.data\n"),
              " XX1, Y\n\n Write a file of X, F(X) ordered pairs.\n\n Filename for output (CR to abort) > ");
    EXPECT_EQ(testing_support::read_file("out.fit"), "RunY values  \nE\nC\n 5,1\n 0\n 0\n 0\n"
                                                     "    1.0000    ,   10.000    ,  0.50000    \n"
                                                     "    2.5000    ,  -20.000    ,   1.0000    \n");
    run("SPECIA H", "fun\n");
    s.data.count = 0;
    run("DATA out");
    EXPECT_EQ(last.number, 0.0);
    ASSERT_EQ(s.data.count, 2);
    EXPECT_EQ(Y(1), -20.0f);
    EXPECT_EQ(E(0), 0.5f);
    EXPECT_EQ(s.fit.function, 5);
    run("DATA fun");
    ASSERT_EQ(s.data.count, 2);
    EXPECT_EQ(X(1), 2.5f);
    EXPECT_EQ(Y(1), 6.0f);
    EXPECT_EQ(E(1), 0.0f);
    EXPECT_EQ(s.data.caption.trimmed(), "RunFunction");
}

TEST_F(Special, UnknownOption) {
    points({1}, {2}, {3});
    EXPECT_EQ(run("SPECIA/Z Z"), " ?QVSPECIAL - Unknown option - Z\n");
    EXPECT_EQ(run("SPECIA"), " ?QVSPECIAL - Unknown option -  \n");
    EXPECT_EQ(Y(0), 2.0f);
}

} // namespace
} // namespace tarva
