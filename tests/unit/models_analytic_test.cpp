// The analytic functions against closed forms and the special functions of
// the standard library, and their guards at singular points.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "models/functions.h"
#include "models_fixture.h"

namespace tarva {
namespace {

using testing::ModelBench;
namespace mf = model_functions;

const double kTwoPi = static_cast<double>(6.2831855f);
const double k1e30 = 1.0000000150474662e30; // 1e30 held in single precision
const double k1e20 = 1.0000000200408773e20;

TEST(SharedHelpers, CubeRoot) {
    EXPECT_NEAR(mf::cube_root(27.0), 3.0, 1e-14);
    EXPECT_NEAR(mf::cube_root(-8.0), -2.0, 1e-14);
    EXPECT_NEAR(mf::cube_root(1e-12), 1e-4, 1e-18);
    EXPECT_EQ(mf::cube_root(1e-26), 0.0);
    EXPECT_EQ(mf::cube_root(-1e-26), 0.0);
    EXPECT_EQ(mf::cube_root(0.0), 0.0);
}

TEST(SharedHelpers, SinglePrecisionStore) {
    const float big = std::numeric_limits<float>::max();
    EXPECT_EQ(mf::to_single(0.1), 0.1f);
    EXPECT_EQ(mf::to_single(static_cast<double>(big)), big);
    EXPECT_EQ(mf::to_single(3.40282356e38), big); // rounds down to the largest value
    EXPECT_EQ(mf::to_single(3.5e38), std::numeric_limits<float>::infinity());
    EXPECT_EQ(mf::to_single(-1e300), -std::numeric_limits<float>::infinity());
    EXPECT_TRUE(std::isnan(mf::to_single(std::nan(""))));
}

TEST(Polynomials, PolynomialInShiftedX) {
    ModelBench b;
    b.params({1.0, 0.5, 2.0, -1.0, 0.25});
    // Two or three parameters: still the straight line through slot 3.
    EXPECT_EQ(b.at(2, 2, 1.5f), 5.0);
    EXPECT_EQ(b.at(2, 3, 1.5f), 5.0);
    EXPECT_EQ(b.at(2, 0, 1.5f), 5.0);
    double t = 2.0;
    EXPECT_DOUBLE_EQ(b.at(2, 5, 1.5f), 1.0 + 2.0 * t - t * t + 0.25 * t * t * t);
    EXPECT_DOUBLE_EQ(b.at(2, 4, 1.5f), 1.0 + 2.0 * t - t * t);
    // A coefficient below 1e-30 is left out, however large its power.
    b.params({1.0, 0.0, 0.0, 1e-31});
    EXPECT_EQ(b.at(2, 4, 1e20f), 1.0);
    b.A(4) = 1e-29;
    EXPECT_GT(b.at(2, 4, 1e20f), 1e10);
}

TEST(Polynomials, DegreeTwentyAgainstHorner) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    ModelBench b;
    for (int i = 1; i <= 22; ++i) b.A(i) = u(rng);
    for (float x : {-1.3f, -0.2f, 0.0f, 0.45f, 0.9f}) {
        double t = static_cast<double>(x) + b.A(2);
        double horner = 0.0;
        for (int i = 22; i >= 3; --i) horner = horner * t + b.A(i);
        double expect = b.A(1) + horner * t;
        EXPECT_NEAR(b.at(2, 22, x), expect, 1e-13 * (1.0 + std::abs(expect))) << x;
    }
}

TEST(Polynomials, RootInverseAndPowers) {
    ModelBench b;
    // a, k3, k1, k0, l1 .. l5
    b.params({1.0, 2.0, 3.0, 4.0, 0.5, 0.0, 0.1, 0.0, 0.0});
    double t = 8.0;
    EXPECT_NEAR(b.at(10, 0, 7.0f), 2.0 * 2.0 + 3.0 / t + 4.0 + 0.5 * t + 0.1 * t * t * t, 1e-12);
    EXPECT_EQ(b.at(10, 9, -1.0f), k1e30); // t = 0
    // The inverse term is left out when its coefficient is below 1e-20.
    b.params({0.0, 0.0, 1e-21, 4.0});
    EXPECT_EQ(b.at(10, 9, 1e-25f), 4.0);
    b.A(3) = 1e-19;
    EXPECT_GT(b.at(10, 9, 1e-25f), 1e5);
}

TEST(Polynomials, PolynomialTimesExponential) {
    ModelBench b;
    // X0, Y0, a0, b0, a1, b1
    b.params({0.5, 1.0, 2.0, 0.1, 3.0, 0.2});
    EXPECT_DOUBLE_EQ(b.at(7, 3, 1.5f), 1.0 + (2.0 + 3.0 * 2.0) * std::exp(-(0.1 + 0.2 * 2.0)));
    EXPECT_DOUBLE_EQ(b.at(7, 2, 1.5f), 1.0 + 2.0 * std::exp(-0.1)); // one pair only
    EXPECT_EQ(b.at(7, 0, 1.5f), 0.0);
    b.A(4) = -71.0; // exponent beyond 70
    EXPECT_EQ(b.at(7, 2, 1.5f), k1e30);
    // x + X0 is taken in single precision: 1 + 1e-9 is 1.
    b.params({1e-9, 0.0, 5.0, 0.0, 1e9, 0.0});
    EXPECT_EQ(b.at(7, 3, 1.0f), 5.0 + 1e9);
}

TEST(Series, LegendreAgainstTheStandardLibrary) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> u(-2.0, 2.0);
    ModelBench b;
    b.A(1) = 1.5;  // K
    b.A(2) = 10.1; // x0 in degrees
    for (int i = 3; i <= 12; ++i) b.A(i) = u(rng);
    for (float x : {0.0f, 17.3f, 44.9f, 90.0f, 133.7f, 179.9f, -60.0f}) {
        // The angle's sum is single precision.
        double theta = static_cast<double>(static_cast<float>(static_cast<double>(x) + b.A(2))) *
                       static_cast<double>(0.017453292f);
        double c = std::cos(theta);
        for (int n : {3, 4, 5, 6, 12}) {
            double sum = 0.0;
            for (int j = 0; j <= n - 3; ++j) sum += b.A(j + 3) * std::legendre(static_cast<unsigned>(j), c);
            EXPECT_NEAR(b.at(15, n, x), 1.5 * sum, 1e-12) << x << " n=" << n;
        }
    }
    EXPECT_EQ(b.at(15, 2, 30.0f), 0.0);
    EXPECT_EQ(b.at(15, -1, 30.0f), 0.0);
}

TEST(Series, BesselAgainstTheStandardLibrary) {
    ModelBench b;
    for (int order = 0; order <= 5; ++order) {
        for (int ex = 0; ex <= order; ++ex) {
            for (double f : {0.3, 1.0, 2.5, 7.0, 13.0, 19.5}) {
                // N, EX, E, A, B with A*x = f at x = 2
                b.params({static_cast<double>(order), static_cast<double>(ex), 1.0, f / 2.0, 1.7});
                double expect = 1.7 * std::cyl_bessel_j(static_cast<double>(order), f) / std::pow(f, ex);
                double tol = 1.1e-4 * 1.7;
                EXPECT_NEAR(b.at(26, 5, 2.0f), expect, tol) << order << " " << ex << " " << f;
                // Negative arguments by the parity of J_N / f^EX.
                double sign = ((order - ex) % 2 == 0) ? 1.0 : -1.0;
                EXPECT_NEAR(b.at(26, 5, -2.0f), sign * expect, tol);
                b.A(3) = 2.0; // E = 2: the square
                EXPECT_NEAR(b.at(26, 5, 2.0f), expect * expect, 2.0 * tol * (std::abs(expect) + tol));
            }
        }
    }
    // At f = 0 with EX = N the series starts at 1/(2^N N!).
    b.params({3.0, 3.0, 1.0, 1.0, 1.0});
    EXPECT_DOUBLE_EQ(b.at(26, 5, 0.0f), 1.0 / (8.0 * 6.0));
}

// The series term by term, as the routine sums it: leading term
// f^(N-EX)/(2^N N!), then g = -g*f^2/(4m(N+m)) until a term is below 1e-4.
double bessel_terms(int order, int ex, double f) {
    double g = 1.0;
    for (int k = 1; k <= order; ++k) {
        if (k <= order - ex) g *= f;
        g /= 2.0 * k;
    }
    double h = g;
    for (int m = 1; m <= 40; ++m) {
        g = -g * (f * f) / (4.0 * m * (order + m));
        if (std::abs(g) < 1e-4) break;
        h += g;
    }
    return h;
}

TEST(Series, BesselSeriesTermByTerm) {
    ModelBench b;
    for (int order = 0; order <= 5; ++order) {
        for (int i = 0; i < 60; ++i) {
            const float x = 0.17f + 0.3137f * static_cast<float>(i);
            // N, EX, E, A, B with A = 1.03: f = A*x up to about 19.
            b.params({static_cast<double>(order), 1.0, 1.0, 1.03, 0.77});
            const int ex = order >= 1 ? 1 : 0;
            b.A(2) = ex;
            EXPECT_EQ(b.at(26, 5, x), bessel_terms(order, ex, 1.03 * static_cast<double>(x)) * 0.77)
                << order << " " << x;
        }
    }
}

TEST(Series, BesselOutsideItsRange) {
    ModelBench b;
    b.params({6.0, 0.0, 1.0, 1.0, 1.0});
    EXPECT_EQ(b.at(26, 5, 1.0f), 0.0); // N = 6
    b.params({2.0, 0.0, 3.0, 1.0, 1.0});
    EXPECT_EQ(b.at(26, 5, 1.0f), 0.0); // E = 3
    b.params({2.0, 3.0, 1.0, 1.0, 1.0});
    EXPECT_EQ(b.at(26, 5, 1.0f), 0.0); // EX > N
    b.params({2.0, -2.0, 1.0, 1.0, 1.0});
    EXPECT_EQ(b.at(26, 5, 1.0f), 0.0); // EX < 0 (-2 rounds to -1)
    b.params({2.0, 0.0, 1.0, 1.0, 1.0});
    EXPECT_EQ(b.at(26, 5, 20.5f), 0.0); // |A x| > 20
    EXPECT_NE(b.at(26, 5, 20.0f), 0.0);
}

TEST(Exponentials, ThreeExponentials) {
    ModelBench b;
    b.params({1.0, 0.5, 2.0, 3.0, -1.0, 2.0, 0.5, -1.0});
    double g = 1.5;
    EXPECT_NEAR(b.at(20, 0, 1.0f), 1.0 + 2.0 * std::exp(g / 3.0) - std::exp(g / 2.0) + 0.5 * std::exp(-g), 1e-13);
    // Beyond g/B = 46 a term is a signed 1e20 held in single precision.
    b.params({1.0, 0.0, 2.0, 1.0});
    EXPECT_EQ(b.at(20, 8, 50.0f), k1e20);
    b.A(3) = -2.0;
    EXPECT_EQ(b.at(20, 8, 50.0f), -k1e20);
    b.A(3) = 5e-11;
    EXPECT_EQ(b.at(20, 8, 50.0f), 1.0);
    // A B below 1e-10 leaves its term out.
    b.params({1.0, 0.0, 2.0, 1e-11});
    EXPECT_EQ(b.at(20, 8, 3.0f), 1.0);
}

TEST(Exponentials, TwoExponentialsAndTanh) {
    ModelBench b;
    b.params({1.0, 2.0, 0.5, -0.25, 3.0, 2.0});
    EXPECT_DOUBLE_EQ(b.at(28, 6, 2.0f), 1.0 + 2.0 * std::exp(-1.0) - 0.5 + 3.0 * std::exp(-4.0));
    b.params({1.0, 2.0, 0.5});
    EXPECT_DOUBLE_EQ(b.at(14, 3, 2.0f), 1.0 + 2.0 * std::tanh(1.0));
}

TEST(Exponentials, FermiStep) {
    ModelBench b;
    // RVIRT, GAP, B0, C0 .. C5, ZCONST
    b.params({1.0, 2.0, 10.0, 0.5, 1.0, 0.1, 0.0, 0.0, 0.0, 3.0});
    EXPECT_DOUBLE_EQ(b.at(1, 10, 2.0f), 10.0 / (std::exp(0.5) + 1.0)); // below ZCONST
    double z = 1.5;
    EXPECT_NEAR(b.at(1, 10, 7.0f), 10.0 / (std::exp(0.5 + z + 0.1 * z * z) + 1.0), 1e-12);
    EXPECT_EQ(b.at(1, 10, 86.0f), 0.0); // z > 40
    b.A(5) = 100.0;                     // exponent beyond 70
    EXPECT_EQ(b.at(1, 10, 6.0f), 0.0);
    b.A(2) = 0.0; // no gap
    EXPECT_EQ(b.at(1, 10, 6.0f), 1e10);
    EXPECT_DOUBLE_EQ(b.at(1, 10, 2.0f), 10.0 / (std::exp(0.5) + 1.0));
}

TEST(PolesAndRoots, GuardsAtSingularPoints) {
    ModelBench b;
    b.params({3.0, 0.5, 2.0});
    EXPECT_EQ(b.at(22, 3, 1.0f), k1e30); // K*C*x = 1
    EXPECT_DOUBLE_EQ(b.at(22, 3, 0.5f), 6.0);

    b.params({2.0, 1.0, 4.0});
    EXPECT_DOUBLE_EQ(b.at(23, 3, 3.0f), 2.0 / std::sqrt(0.75));
    EXPECT_EQ(b.at(23, 3, 5.0f), 0.0); // on the edge
    EXPECT_EQ(b.at(23, 3, 9.0f), 0.0); // outside
    b.A(3) = 0.0;
    EXPECT_EQ(b.at(23, 3, 3.0f), 0.0);

    b.params({-4.0, 1.0, 2.0});
    EXPECT_DOUBLE_EQ(b.at(24, 3, 1.0f), 1.0 + std::sqrt(3.0) * 2.0);
    EXPECT_DOUBLE_EQ(b.at(24, 3, 3.0f), 3.0); // root of the magnitude

    b.params({-5.0, 0.5, 1.0});
    EXPECT_EQ(b.at(25, 3, 1.0f), 0.0); // Yo = -5
    b.params({5.0, 0.0, 0.0});
    EXPECT_EQ(b.at(25, 3, 1.0f), 1e10); // tanh = 0
    b.params({1e-11, 0.0, 0.0});
    EXPECT_EQ(b.at(25, 3, 1.0f), 0.0);
    b.params({5.0, 0.5, 1.0});
    EXPECT_DOUBLE_EQ(b.at(25, 3, 1.0f), 5.0 / std::tanh(1.5));
}

TEST(Trigonometric, SineCosine) {
    ModelBench b;
    b.params({1.0, 0.5, 0.25, 2.0, 3.0, 1.5, 4.0});
    double x = 1.0;
    double full = 1.0 + 2.0 * std::sin(kTwoPi * (x + 0.5) / 3.0) + 1.5 * std::cos(kTwoPi * (x + 0.25) / 4.0);
    EXPECT_NEAR(b.at(29, 7, 1.0f), full, 1e-14);
    EXPECT_NEAR(b.at(29, 5, 1.0f), 1.0 + 2.0 * std::sin(kTwoPi * 1.5 / 3.0), 1e-14);
    EXPECT_EQ(b.at(29, 4, 1.0f), 1.0);
    EXPECT_EQ(b.at(29, 0, 1.0f), 0.0);
    b.A(5) = 0.0;
    b.A(7) = 1e-11;
    EXPECT_EQ(b.at(29, 7, 1.0f), 1.0);
}

TEST(Trigonometric, DriftAndGridShadow) {
    ModelBench b;
    b.params({2.0, 1.0, 0.5, 3.0});
    EXPECT_DOUBLE_EQ(b.at(32, 4, 1.0f), 1.0 + 2.0 / (1.0 + 0.5 * std::cos(0.5 / 3.0)));
    b.A(4) = 0.0;
    EXPECT_EQ(b.at(32, 4, 1.0f), 0.0);
    b.params({2.0, -1.0, 1.0, 3.0});
    EXPECT_EQ(b.at(32, 4, 0.0f), 0.0); // 1 + pm*v*cos(0) = 0

    // Grid angle, n, C, Xoff, Yoff, d, Order
    b.params({45.0, 2.0, 3.0, 1.0, 0.5, 4.0, 3.0});
    double angle = 45.0 * kTwoPi / 360.0;
    for (float x : {5.0f, -3.0f}) {
        double f = (x - 1.0) * 1e-6 / (std::tan(angle) * 2.0);
        EXPECT_NEAR(b.at(4, 7, x), (4.0 * std::cbrt(f / 3.0) + f) * 1e6 - 0.5, 1e-6) << x;
        b.A(7) = 2.0;
        double s = f < 0 ? -1.0 : 1.0;
        EXPECT_NEAR(b.at(4, 7, x), (s * 4.0 * std::sqrt(std::abs(f / 3.0)) + f) * 1e6 - 0.5, 1e-6) << x;
        b.A(7) = 5.0; // f/C > 0 takes the sign +1
        EXPECT_NEAR(b.at(4, 7, x), (s * 4.0 * std::pow(std::abs(f / 3.0), static_cast<double>(0.2f)) + f) * 1e6 - 0.5,
                    1e-6)
            << x;
        b.A(7) = 3.0;
    }
    for (int zero : {1, 2, 3}) {
        b.params({45.0, 2.0, 3.0, 1.0, 0.5, 4.0, 3.0});
        b.A(zero) = 0.0;
        EXPECT_EQ(b.at(4, 7, 5.0f), 0.0) << zero;
    }
}

TEST(Caps, CircleAndHyperbola) {
    ModelBench b;
    b.params({1.0, 2.0, 3.0, 4.0});
    EXPECT_DOUBLE_EQ(b.at(31, 4, 3.0f), 9.0);
    EXPECT_DOUBLE_EQ(b.at(31, 4, 5.0f), 1.0 + 2.0 * std::sqrt(12.0));
    EXPECT_EQ(b.at(31, 4, 8.0f), 1.0);
    EXPECT_EQ(b.at(31, 4, -2.0f), 1.0);
    EXPECT_EQ(b.at(33, 4, 5.0f), 1.0);
    EXPECT_DOUBLE_EQ(b.at(33, 4, 8.0f), 7.0);
    EXPECT_DOUBLE_EQ(b.at(33, 4, 7.0f), 1.0); // on the radius
}

TEST(Devices, DiodeAndLogCharacteristic) {
    ModelBench b;
    b.params({0.5, 2.0, 1.5, 0.25});
    EXPECT_DOUBLE_EQ(b.at(34, 4, 1.0f), 2.0 * (std::exp(2.25) - 1.0) - 0.25);
    EXPECT_EQ(b.at(34, 0, 1.0f), 0.0);
    b.params({2.0, 5.0, 1.0, 0.5});
    EXPECT_DOUBLE_EQ(b.at(35, 4, 1.0f), 2.0 * std::log(4.0) - 0.5);
    EXPECT_EQ(b.at(35, 4, 5.0f), 0.0); // B - C x = 0
    EXPECT_EQ(b.at(35, 4, 6.0f), 0.0);
    EXPECT_EQ(b.at(35, 0, 1.0f), 0.0);
}

TEST(Piecewise, MultiLinearIsContinuous) {
    ModelBench b;
    b.params({1.0, 2.0, 1.0, -1.0, 3.0, 0.5, 5.0, 0.0, 99.0});
    EXPECT_EQ(b.at(6, 9, 0.0f), 1.0);
    EXPECT_EQ(b.at(6, 9, 1.0f), 3.0);
    EXPECT_EQ(b.at(6, 9, 2.0f), 2.0);
    EXPECT_EQ(b.at(6, 9, 3.0f), 1.0);
    EXPECT_EQ(b.at(6, 9, 4.0f), 1.5);
    EXPECT_EQ(b.at(6, 9, 5.0f), 2.0);
    EXPECT_EQ(b.at(6, 9, 6.0f), 2.0);
}

} // namespace
} // namespace tarva
