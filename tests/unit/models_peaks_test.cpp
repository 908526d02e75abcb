// Peak shapes and edges checked against closed forms and the normal
// distribution of the standard library.
#include <gtest/gtest.h>

#include <cmath>

#include "models/functions.h"
#include "models_fixture.h"

namespace tarva {
namespace {

using testing::ModelBench;
namespace mf = model_functions;

const double kGauss = static_cast<double>(2.7725887f);

// The normal distribution at t, from the complementary error function.
double phi(double t) { return 0.5 * std::erfc(-t / std::sqrt(2.0)); }

TEST(EdgeSeries, MatchesTheNormalDistribution) {
    for (double t = -4.99; t < 5.0; t += 0.0137) {
        // The series stops at a relative change of 1e-6.
        EXPECT_NEAR(mf::normal_distribution(t), phi(t), 1e-6) << t;
    }
    EXPECT_EQ(mf::normal_distribution(0.0), 0.5);
    EXPECT_EQ(mf::normal_distribution(5.0), 1.0);
    EXPECT_EQ(mf::normal_distribution(-5.0), 0.0);
    EXPECT_EQ(mf::normal_distribution(1e300), 1.0);
    EXPECT_TRUE(std::isnan(mf::normal_distribution(std::nan(""))));
}

TEST(EdgeSeries, Erf8AndErfc8) {
    // W is the FWHM of the Gaussian whose integral the edge is.
    const double h = 3.0, w = 2.0, p = 10.0;
    for (double x = 6.0; x <= 14.0; x += 0.25) {
        double t = (x - p) * static_cast<double>(2.35482f) / w;
        EXPECT_NEAR(mf::erf8(h, w, p, x), h * phi(t), 3e-6) << x;
        EXPECT_NEAR(mf::erfc8(h, w, p, x), h * (1.0 - phi(t)), 3e-6) << x;
    }
    EXPECT_EQ(mf::erf8(h, w, p, p), h / 2);
    EXPECT_EQ(mf::erf8(h, w, p, p + 5.0), h); // t >= 5
    EXPECT_EQ(mf::erfc8(h, w, p, p + 5.0), 0.0);
    EXPECT_EQ(mf::erf8(h, w, p, p - 5.0), 0.0);
    EXPECT_EQ(mf::erf8(h, 0.0, p, 1.0), 0.0);
    EXPECT_EQ(mf::erfc8(h, 0.0, p, 1.0), 0.0);
    // A negative width mirrors the edge.
    EXPECT_NEAR(mf::erf8(1.0, -w, p, p + 1.0), 1.0 - mf::erf8(1.0, w, p, p + 1.0), 1e-6);
}

TEST(EdgeFunctions, ErrorFunctionOnALine) {
    ModelBench b;
    b.params({2.0, 0.5, 4.0, 1.5, 3.0, 0.0});
    for (float x : {0.0f, 2.5f, 3.0f, 3.7f, 9.0f}) {
        double line = 2.0 + 0.5 * x;
        EXPECT_DOUBLE_EQ(b.at(16, 6, x), line + mf::erf8(4.0, 1.5, 3.0, x)) << x;
    }
    b.A(6) = 1.2; // rounds to 1: the complementary edge
    EXPECT_DOUBLE_EQ(b.at(16, 6, 2.5f), 2.0 + 0.5 * 2.5 + mf::erfc8(4.0, 1.5, 3.0, 2.5));
    b.A(6) = 1.5; // rounds to 2: the plain edge
    EXPECT_DOUBLE_EQ(b.at(16, 6, 2.5f), 2.0 + 0.5 * 2.5 + mf::erf8(4.0, 1.5, 3.0, 2.5));
}

TEST(EdgeFunctions, TopSlopeOnThePlateauSide) {
    ModelBench b;
    // Y0, Y1, Height, FWHM, Position, option, Top Y0, Top Y1
    b.params({1.0, 0.0, 10.0, 2.0, 5.0, 0.0, 0.5, 0.25});
    EXPECT_DOUBLE_EQ(b.at(3, 8, 8.0f), 1.0 + mf::erf8(10.0, 2.0, 5.0, 8.0) + 0.5 + 3.0 * 0.25);
    EXPECT_DOUBLE_EQ(b.at(3, 8, 2.0f), 1.0 + mf::erf8(10.0, 2.0, 5.0, 2.0));
    EXPECT_DOUBLE_EQ(b.at(3, 8, 5.0f), 1.0 + 5.0); // at the position: half height, no plateau line
    b.A(6) = 1.0;
    EXPECT_DOUBLE_EQ(b.at(3, 8, 2.0f), 1.0 + mf::erfc8(10.0, 2.0, 5.0, 2.0) + 0.5 - 3.0 * 0.25);
    EXPECT_DOUBLE_EQ(b.at(3, 8, 8.0f), 1.0 + mf::erfc8(10.0, 2.0, 5.0, 8.0));
    // Option 2: the step of option 0, never the plateau line.
    b.A(6) = 2.0;
    EXPECT_DOUBLE_EQ(b.at(3, 8, 8.0f), 1.0 + mf::erf8(10.0, 2.0, 5.0, 8.0));
    EXPECT_DOUBLE_EQ(b.at(3, 8, 2.0f), 1.0 + mf::erf8(10.0, 2.0, 5.0, 2.0));
}

TEST(EdgeFunctions, ErrorFunctionPlusGaussian) {
    ModelBench b;
    // line, Gaussian (height, centre, FWHM), common FWHM, edge (height, FWHM, position, option)
    b.params({1.0, 0.1, 5.0, 2.0, 1.0, 0.0, 3.0, 0.5, 4.0, 0.0});
    double x = 2.5;
    double expect = 1.0 + 0.1 * x + 5.0 * std::exp(-kGauss * 0.25 / 1.0) + mf::erf8(3.0, 0.5, 4.0, x);
    EXPECT_DOUBLE_EQ(b.at(30, 10, 2.5f), expect);
    // The common FWHM replaces both widths.
    b.A(6) = 2.0;
    expect = 1.0 + 0.1 * x + 5.0 * std::exp(-kGauss * 0.25 / 4.0) + mf::erf8(3.0, 2.0, 4.0, x);
    EXPECT_DOUBLE_EQ(b.at(30, 10, 2.5f), expect);
    b.A(6) = 1e-11; // too small to count
    b.A(10) = 1.0;
    expect = 1.0 + 0.1 * x + 5.0 * std::exp(-kGauss * 0.25) + mf::erfc8(3.0, 0.5, 4.0, x);
    EXPECT_DOUBLE_EQ(b.at(30, 10, 2.5f), expect);
    // A zero Gaussian width leaves the Gaussian out instead of dividing.
    b.A(5) = 0.0;
    EXPECT_DOUBLE_EQ(b.at(30, 10, 2.5f), 1.0 + 0.1 * x + mf::erfc8(3.0, 0.5, 4.0, x));
    EXPECT_EQ(b.at(30, 0, 2.5f), 0.0);
    EXPECT_EQ(b.at(30, 1, 2.5f), 1.0);
    EXPECT_DOUBLE_EQ(b.at(30, 2, 2.5f), 1.25);
}

TEST(GaussianSeries, LineAndPeaks) {
    ModelBench b;
    b.params({1.0, 0.5, 10.0, 3.0, 2.0, -4.0, 7.0, 1.0});
    EXPECT_EQ(b.at(18, 0, 2.0f), 0.0);
    EXPECT_EQ(b.at(18, 1, 2.0f), 1.0);
    EXPECT_EQ(b.at(18, 2, 2.0f), 2.0);
    EXPECT_EQ(b.at(18, 4, 2.0f), 2.0); // no complete peak yet
    // The FWHM is the full width at half maximum.
    EXPECT_NEAR(b.at(18, 5, 4.0f) - 3.0, 5.0, 1e-7);
    EXPECT_NEAR(b.at(18, 5, 2.0f) - 2.0, 5.0, 1e-7);
    for (float x : {-1.0f, 3.0f, 6.5f, 7.0f}) {
        double expect = 1.0 + 0.5 * x + 10.0 * std::exp(-kGauss * (x - 3.0) * (x - 3.0) / 4.0) +
                        -4.0 * std::exp(-kGauss * (x - 7.0) * (x - 7.0) / 1.0);
        EXPECT_DOUBLE_EQ(b.at(18, 8, x), expect) << x;
    }
}

TEST(GaussianSeries, ZeroHeightAndWidthAreSkipped) {
    ModelBench b;
    b.params({1.0, 0.5, 0.0, 3.0, 2.0});
    EXPECT_EQ(b.at(18, 5, 3.0f), 2.5);
    b.params({1.0, 0.5, 2.0, 3.0, 0.0}); // zero width at the centre: no 0/0
    EXPECT_EQ(b.at(18, 5, 3.0f), 2.5);
    b.A(5) = 1e-21;
    EXPECT_EQ(b.at(18, 5, 3.0f), 2.5);
}

TEST(GaussianSeries, PeakCountFollowsTheParameterCount) {
    ModelBench b;
    b.params({});
    for (int k = 1; k <= 16; ++k) {
        b.A(3 * k) = 1.0;          // height
        b.A(3 * k + 1) = 10.0 * k; // centre
        b.A(3 * k + 2) = 1.0;      // width
    }
    // 20 parameters: 6 peaks; slots 21 and beyond are ignored.
    EXPECT_NEAR(b.at(18, 20, 60.0f), 1.0, 1e-12);
    EXPECT_NEAR(b.at(18, 20, 70.0f), 0.0, 1e-12);
    // 60 parameters: lowered to 50, all 16 peaks.
    EXPECT_NEAR(b.at(18, 60, 160.0f), 1.0, 1e-12);
    EXPECT_EQ(b.fit.nparams, 50);
}

TEST(BreitWignerSeries, LorentzianPeaks) {
    ModelBench b;
    b.params({1.0, 0.5, 8.0, 3.0, 2.0});
    EXPECT_DOUBLE_EQ(b.at(21, 5, 3.0f), 1.0 + 1.5 + 8.0); // full height at the position
    EXPECT_DOUBLE_EQ(b.at(21, 5, 4.0f), 1.0 + 2.0 + 4.0); // half height half a width away
    EXPECT_DOUBLE_EQ(b.at(21, 5, 7.0f), 1.0 + 3.5 + 8.0 / 17.0);
    EXPECT_EQ(b.at(21, 1, 7.0f), 1.0);
    EXPECT_EQ(b.at(21, 2, 7.0f), 4.5);
    EXPECT_EQ(b.at(21, 0, 2.0f), 2.0); // fewer than one parameter: still the line
    EXPECT_EQ(b.at(21, -5, 2.0f), 2.0);
    // Zero width at the position: the peak is skipped, nothing divided by 0.
    b.A(5) = 0.0;
    EXPECT_EQ(b.at(21, 5, 3.0f), 2.5);
    EXPECT_EQ(b.at(21, 5, 4.0f), 3.0);
}

TEST(FlatTopPeaks, ChannelingDips) {
    ModelBench b;
    // line, peak 1 (height, centre, FWHM, top width), peak 2
    b.params({1.0, 0.0, -0.5, 10.0, 2.0, 4.0, 2.0, 30.0, 1.0, 0.0});
    EXPECT_EQ(b.at(19, 5, 10.0f), 1.0); // no peak below six parameters
    EXPECT_EQ(b.at(19, 6, 8.0f), 0.5);  // top edge
    EXPECT_EQ(b.at(19, 6, 12.0f), 0.5);
    EXPECT_NEAR(b.at(19, 6, 13.0f), 1.0 - 0.5 * 0.5, 1e-8); // one half-FWHM beyond: half height
    EXPECT_DOUBLE_EQ(b.at(19, 6, 6.0f), 1.0 - 0.5 * std::exp(-kGauss * 4.0 / 4.0));
    EXPECT_EQ(b.at(19, 9, 30.0f), 1.0);  // second peak needs ten
    EXPECT_EQ(b.at(19, 10, 30.0f), 3.0); // zero top width: the centre alone is the top
    EXPECT_NEAR(b.at(19, 10, 30.5f), 1.0 + 2.0 * 0.5, 1e-8);
    // Zero FWHM: the top still adds the height, the wings nothing.
    b.A(5) = 0.0;
    EXPECT_EQ(b.at(19, 6, 10.0f), 0.5);
    EXPECT_EQ(b.at(19, 6, 14.0f), 1.0);
    EXPECT_EQ(b.at(19, 0, 1.0f), 0.0);
    EXPECT_EQ(b.at(19, 1, 1.0f), 1.0);
}

// The squares in the peak formulas, (x - c)^2 and (W/2)^2, are whole
// factors: each is formed before it is scaled, so the values agree bit for
// bit with the formulas written out term by term.
TEST(PeakTerms, SquaresAreFormedBeforeTheyAreScaled) {
    ModelBench b;
    // Flat-topped peak: height 3.7, centre 1.3, FWHM 0.83, top width 0.9.
    b.params({0.25, 0.0, 3.7, 1.3, 0.83, 0.9});
    // Breit-Wigner peak: height 2.9, position -0.4, width 1.37.
    ModelBench bw;
    bw.params({0.25, 0.0, 2.9, -0.4, 1.37});
    // Gaussian of functions 18 and 30: height 3.7, centre 1.3, FWHM 0.83.
    ModelBench gs;
    gs.params({0.25, 0.0, 3.7, 1.3, 0.83});
    for (int i = 0; i < 200; ++i) {
        const float x = -3.0f + 0.0371f * static_cast<float>(i);
        const double xd = x;
        if (xd < 1.3 - 0.45 || xd > 1.3 + 0.45) {
            const double wing = xd < 1.3 ? xd - 1.3 + 0.45 : xd - 1.3 - 0.45;
            EXPECT_EQ(b.at(19, 6, x), 0.25 + 3.7 * std::exp(-kGauss * (wing * wing) / (0.83 * 0.83))) << x;
        }
        const double h = 1.37 / 2.0, u = xd + 0.4;
        EXPECT_EQ(bw.at(21, 5, x), 0.25 + 2.9 * (h * h) / (u * u + h * h)) << x;
        const double g = 3.7 * std::exp(-kGauss * ((xd - 1.3) * (xd - 1.3)) / (0.83 * 0.83));
        EXPECT_EQ(gs.at(18, 5, x), 0.25 + g) << x;
        EXPECT_EQ(gs.at(30, 10, x), 0.25 + g) << x; // no edge: its height and FWHM are 0
    }
}

// Fraction of a circle of diameter D on the near side of a chord at u from
// the centre, from the segment-area formula.
double circle_fraction(double u, double d) {
    double r = d / 2.0;
    double theta = 2.0 * std::acos(-u / r); // angle of the segment left of the chord
    return (theta - std::sin(theta)) / (2.0 * M_PI);
}

TEST(Cylinder, ProjectedCircleStep) {
    ModelBench b;
    // Y0, Y1, Height, Diameter, Position, option
    b.params({0.0, 0.0, 1.0, 4.0, 10.0, 0.0});
    EXPECT_EQ(b.at(17, 6, 8.0f), 0.0);
    EXPECT_EQ(b.at(17, 6, 12.0f), 1.0);
    EXPECT_DOUBLE_EQ(b.at(17, 6, 10.0f), 0.5);
    for (float x : {8.25f, 9.0f, 9.9f, 10.5f, 11.75f})
        EXPECT_NEAR(b.at(17, 6, x), circle_fraction(x - 10.0, 4.0), 1e-6) << x;
    // The line is measured from the position; option 1 turns the step round.
    b.params({2.0, 0.5, 3.0, 4.0, 10.0, 1.0});
    EXPECT_DOUBLE_EQ(b.at(17, 6, 7.0f), 3.0 + 2.0 - 1.5);
    EXPECT_DOUBLE_EQ(b.at(17, 6, 13.0f), 2.0 + 1.5);
    // Zero diameter: a sharp step, no division.
    b.params({0.0, 0.0, 1.0, 0.0, 10.0, 0.0});
    EXPECT_EQ(b.at(17, 6, 10.0f), 0.0);
    EXPECT_EQ(b.at(17, 6, 10.5f), 1.0);
}

TEST(DualErrorFunction, WindowProfiles) {
    ModelBench b;
    // Width, Sigma 1, Sigma 2, Fraction
    b.params({2.0, -1.0, 0.5, 1.0});
    for (float x : {-10.0f, 0.0f, 3.0f}) EXPECT_EQ(b.at(27, 4, x), 100.0);
    // Sigma 0: a sharp window of half width W.
    b.params({2.0, 0.0, 0.0, 0.3});
    EXPECT_DOUBLE_EQ(b.at(27, 4, 2.0f), 1.0);
    EXPECT_EQ(b.at(27, 4, 2.5f), 0.0);
    // Smoothed edges: the approximation stays within 5e-4 of erf.
    b.params({2.0, 0.5, 1.5, 0.25});
    for (float x : {-4.0f, -2.0f, 0.0f, 1.0f, 2.5f, 6.0f}) {
        auto window = [&](double s) {
            return (std::erf((2.0 + x) / (s * std::sqrt(2.0))) + std::erf((2.0 - x) / (s * std::sqrt(2.0)))) / 2.0;
        };
        EXPECT_NEAR(b.at(27, 4, x), 0.25 * window(0.5) + 0.75 * window(1.5), 5e-4) << x;
    }
}

} // namespace
} // namespace tarva
