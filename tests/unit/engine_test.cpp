// The least-squares engine on closed-form models: matrix inversion, chi-square
// forms, the minimiser's convergence, messages and persistent state.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <sstream>
#include <vector>

#include "fitting/engine.h"

namespace tarva {
namespace {

using Matrix = std::array<std::array<double, kEngineParams>, kEngineParams>;

// Data and model for a test problem.
struct Problem {
    std::vector<float> x, y, sigma;
    std::array<double, 50> p{};
    std::array<double, 50> err{};
    std::array<int, 50> mask{};
    int nparams = 0;
    int mode = 1;
};

struct Line {
    double operator()(std::span<const double> a, float x) const { return a[0] + a[1] * x; }
};
struct Decay {
    double operator()(std::span<const double> a, float x) const { return a[0] * std::exp(-a[1] * x) + a[2]; }
};
// Depends on a[0] + a[1] only: the two columns of the derivatives coincide.
struct SumOnly {
    double operator()(std::span<const double> a, float x) const { return (a[0] + a[1]) * x; }
};

template <class M>
EngineInputs inputs(Problem& pr, M& model) {
    return EngineInputs{pr.x, pr.y,       pr.sigma, pr.mode, static_cast<int>(pr.x.size()), ModelRef(model),
                        pr.p, pr.nparams, pr.mask};
}

Problem line_problem(int n, double a0, double a1, double noise, unsigned seed) {
    Problem pr;
    std::mt19937 gen(seed);
    std::normal_distribution<double> g(0.0, 1.0);
    for (int i = 0; i < n; ++i) {
        float x = static_cast<float>(i) * 0.5f;
        float s = 0.5f + 0.1f * static_cast<float>(i % 4);
        pr.x.push_back(x);
        pr.sigma.push_back(s);
        pr.y.push_back(static_cast<float>(a0 + a1 * x + noise * s * g(gen)));
    }
    pr.nparams = 2;
    pr.mask[0] = pr.mask[1] = 1;
    return pr;
}

// One engine with its output captured, for the tests of the minimiser, the
// chi-square and the correlation matrix: the persistent state, the text
// written and the iteration counts of the last fit.
struct EngineRun : ::testing::Test {
    EngineState e;
    std::ostringstream os;
    OutputSink out{os};
    int iterations = 0;
    int max = 250;

    template <class M>
    void run_fit(Problem& pr, M& model) {
        fit(e, out, inputs(pr, model), pr.p, pr.err, iterations, max);
    }
    template <class M>
    double chi(Problem& pr, M& model) {
        return chi_square(e, out, inputs(pr, model));
    }
};
struct ChiSquare : EngineRun {};
struct Minimiser : EngineRun {};
struct CorrelationMatrix : EngineRun {};

int count_lines(const std::string& text, const std::string& needle) {
    int n = 0;
    for (std::size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
    return n;
}

TEST(MatrixInversion, InverseTimesMatrixIsIdentity) {
    std::mt19937 gen(7);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (int n : {1, 2, 5, 13, 50}) {
        Matrix a{}, m{};
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j) a[i][j] = u(gen) + (i == j ? 4.0 : 0.0);
        m = a;
        ASSERT_TRUE(invert_matrix(m, n));
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j) {
                double s = 0.0;
                for (int k = 0; k < n; ++k) s += a[i][k] * m[k][j];
                EXPECT_NEAR(s, i == j ? 1.0 : 0.0, 1e-12) << n << " " << i << " " << j;
            }
    }
}

TEST(MatrixInversion, PivotsOffTheDiagonalAndUndoesInterchanges) {
    // Zero diagonal: every pivot needs an interchange of rows and columns.
    Matrix m{};
    m[0][1] = 2.0;
    m[1][0] = 4.0;
    ASSERT_TRUE(invert_matrix(m, 2));
    EXPECT_EQ(m[0][0], 0.0);
    EXPECT_EQ(m[0][1], 0.25);
    EXPECT_EQ(m[1][0], 0.5);
    EXPECT_EQ(m[1][1], 0.0);
    // A permutation-like 3 x 3 with distinct entries.
    Matrix p{}, a{};
    p[0][2] = 3.0;
    p[1][0] = -5.0;
    p[2][1] = 7.0;
    p[2][2] = 1.0;
    a = p;
    ASSERT_TRUE(invert_matrix(p, 3));
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            double s = 0.0;
            for (int k = 0; k < 3; ++k) s += a[i][k] * p[k][j];
            EXPECT_NEAR(s, i == j ? 1.0 : 0.0, 1e-15);
        }
}

TEST(MatrixInversion, ExactZeroPivotIsSingular) {
    Matrix zero{};
    EXPECT_FALSE(invert_matrix(zero, 3));
    Matrix rank1{};
    rank1[0][0] = 1.0;
    rank1[0][1] = 2.0;
    rank1[1][0] = 2.0;
    rank1[1][1] = 4.0;
    EXPECT_FALSE(invert_matrix(rank1, 2));
    Matrix nan{};
    nan[0][0] = std::nan("");
    EXPECT_FALSE(invert_matrix(nan, 1));
    Matrix empty{};
    EXPECT_TRUE(invert_matrix(empty, 0));
}

TEST_F(ChiSquare, ReducedFormWeightsClampsAndDegreesOfFreedom) {
    Problem pr;
    pr.x = {0, 1, 2, 3};
    pr.y = {1, 2, 3, 5};
    pr.sigma = {1, 2, 0.5f, 1};
    pr.nparams = 2;
    pr.mask[0] = pr.mask[1] = 1;
    pr.p[0] = 1;
    pr.p[1] = 1; // model 1 + x: residuals 0, 0, 0, 1
    Line model;
    EXPECT_DOUBLE_EQ(chi(pr, model), 1.0 / 2.0);
    // Mode 2: variance is the model value (floored at 0.001).
    pr.mode = 2;
    EXPECT_DOUBLE_EQ(chi(pr, model), 1.0 / 4.0 / 2.0);
    // Mode 4: variance from the neighbouring Y.
    pr.mode = 4;
    double v4 = std::fabs((5.0f - 3.0f) * 5.0f);
    EXPECT_DOUBLE_EQ(chi(pr, model), 1.0 / v4 / 2.0);
    // Huge data are clamped at +1e20, whatever their sign.
    pr.mode = 1;
    pr.y[3] = -3e25f;
    const double d = 1e20 - 4.0;
    EXPECT_DOUBLE_EQ(chi(pr, model), d * d / 2.0);
    EXPECT_EQ(os.str(), "");
}

TEST_F(ChiSquare, TooFewPointsUsesOneDegreeOfFreedom) {
    Problem pr = line_problem(2, 1.0, 2.0, 0.0, 1);
    pr.p[0] = 0.0;
    pr.p[1] = 0.0;
    Line model;
    double chi2 = chi(pr, model);
    double expect = 0.0;
    for (int i = 0; i < 2; ++i) {
        double v = static_cast<double>(pr.sigma[i] * pr.sigma[i]);
        expect += static_cast<double>(pr.y[i]) * pr.y[i] / v;
    }
    EXPECT_DOUBLE_EQ(chi2, expect);
    EXPECT_EQ(os.str(), " Too few data points for meaningful fit!\n");
}

TEST_F(ChiSquare, MaskSlotsAboveTheCountPersist) {
    Problem pr = line_problem(5, 1.0, 2.0, 0.0, 1);
    pr.nparams = 4;
    pr.mask = {1, 1, 1, 1};
    Line model;
    chi(pr, model);
    EXPECT_EQ(os.str(), "");
    // Two parameters now, but slots 3 and 4 still count as varied: 5 - 4.
    pr.nparams = 2;
    pr.p[0] = 0.0;
    pr.mask[2] = pr.mask[3] = 0;
    double one = chi(pr, model);
    EngineState fresh;
    double three = chi_square(fresh, out, inputs(pr, model));
    EXPECT_DOUBLE_EQ(one, three * 3.0);
}

TEST_F(ChiSquare, PlainSumRoundsToSinglePrecision) {
    std::vector<float> x = {0, 1, 2}, y = {1, 2, 4}, s = {0, 2, 0.5f};
    struct Third {
        double operator()(std::span<const double>, float) const { return 1.0 / 3.0; }
    } third;
    std::array<double, 50> p{};
    double sum = chi_square_sum(x, y, s, 3, ModelRef(third), p);
    const float f = 1.0f / 3.0f;
    float r0 = 1.0f - f, r1 = (2.0f - f) / 2.0f, r2 = (4.0f - f) / 0.5f;
    EXPECT_EQ(sum, static_cast<double>(r0 * r0) + static_cast<double>(r1 * r1) + static_cast<double>(r2 * r2));
    EXPECT_EQ(chi_square_sum(x, y, s, 0, ModelRef(third), p), 0.0);
}

TEST_F(Minimiser, LineFitMatchesClosedFormWeightedLeastSquares) {
    Problem pr = line_problem(40, 3.0, -0.75, 1.0, 42);
    Line model;
    run_fit(pr, model);
    // Closed form of the weighted straight line.
    double s = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (std::size_t i = 0; i < pr.x.size(); ++i) {
        double w = 1.0 / static_cast<double>(pr.sigma[i] * pr.sigma[i]);
        s += w;
        sx += w * pr.x[i];
        sy += w * pr.y[i];
        sxx += w * pr.x[i] * pr.x[i];
        sxy += w * pr.x[i] * pr.y[i];
    }
    double det = s * sxx - sx * sx;
    // The stop rule (chi-square change below 1 %) ends the fit within a few
    // hundredths of a standard error of the optimum.
    const double e0 = std::sqrt(sxx / det), e1 = std::sqrt(s / det);
    EXPECT_NEAR(pr.p[0], (sxx * sy - sx * sxy) / det, 0.05 * e0);
    EXPECT_NEAR(pr.p[1], (s * sxy - sx * sy) / det, 0.05 * e1);
    // Errors: square roots of the covariance diagonal, from the damped
    // matrix of the last step (lambda is small by then).
    EXPECT_NEAR(pr.err[0], e0, 0.1 * e0);
    EXPECT_NEAR(pr.err[1], e1, 0.1 * e1);
    EXPECT_GE(iterations, 2);
    EXPECT_EQ(count_lines(os.str(), "Iteration "), iterations);
    EXPECT_NE(os.str().find(" Iteration   1  mode 1  chi-sq = "), std::string::npos);
}

TEST_F(Minimiser, NonlinearDecayRecoversTheTruth) {
    Problem pr;
    for (int i = 0; i < 60; ++i) {
        float x = static_cast<float>(i) * 0.1f;
        pr.x.push_back(x);
        pr.y.push_back(static_cast<float>(5.0 * std::exp(-0.8 * x) + 1.0));
        pr.sigma.push_back(0.01f);
    }
    pr.nparams = 3;
    pr.mask = {1, 1, 1};
    pr.p[0] = 3.0;
    pr.p[1] = 0.5;
    pr.p[2] = 0.0;
    Decay model;
    run_fit(pr, model);
    EXPECT_NEAR(pr.p[0], 5.0, 1e-3);
    EXPECT_NEAR(pr.p[1], 0.8, 1e-3);
    EXPECT_NEAR(pr.p[2], 1.0, 1e-3);
    EXPECT_LT(iterations, 250);
}

// A stop query that says stop from its (after + 1)-th question on.
struct StopAfter {
    static inline int asked = 0, after = 0;
    static bool query() { return ++asked > after; }
};

// Between iterations the fit asks its stop query; stopped after three
// whole iterations it leaves exactly what a fit limited to three leaves
// (parameters, errors, count), and says it was stopped.
TEST_F(Minimiser, StopQueryEndsTheFitAfterAWholeIteration) {
    Problem limited;
    for (int i = 0; i < 60; ++i) {
        float x = static_cast<float>(i) * 0.1f;
        limited.x.push_back(x);
        limited.y.push_back(static_cast<float>(5.0 * std::exp(-0.8 * x) + 1.0));
        limited.sigma.push_back(0.01f);
    }
    limited.nparams = 3;
    limited.mask = {1, 1, 1};
    limited.p = {3.0, 0.5, 0.0};
    Problem stopped = limited;
    Decay model;
    max = 3;
    EXPECT_TRUE(fit(e, out, inputs(limited, model), limited.p, limited.err, iterations, max));
    EXPECT_EQ(iterations, 3);

    auto fresh = std::make_unique<EngineState>();
    StopAfter::asked = 0;
    StopAfter::after = 3;
    int stopped_iterations = 0, stopped_max = 250;
    EXPECT_FALSE(fit(*fresh, out, inputs(stopped, model), stopped.p, stopped.err, stopped_iterations, stopped_max,
                     StopAfter::query));
    EXPECT_EQ(StopAfter::asked, 4);
    EXPECT_EQ(stopped_iterations, 3);
    EXPECT_EQ(stopped.p, limited.p);
    EXPECT_EQ(stopped.err, limited.err);
    EXPECT_NE(stopped.p[1], 0.5);
}

TEST_F(Minimiser, NoErrorBarsMessageAndUnitWeights) {
    Problem pr = line_problem(10, 1.0, 2.0, 0.0, 3);
    std::fill(pr.sigma.begin(), pr.sigma.end(), 0.0f);
    pr.y[4] += 0.5f;
    Line model;
    run_fit(pr, model);
    EXPECT_EQ(os.str().rfind(" No error bars: Using unweighted chi-squares.\n", 0), 0u);
    EXPECT_EQ(e.no_error_bars, 1);
    // Unweighted least squares of the line through the data.
    double n = 10, sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (int i = 0; i < 10; ++i) {
        sx += pr.x[i];
        sy += pr.y[i];
        sxx += pr.x[i] * pr.x[i];
        sxy += pr.x[i] * pr.y[i];
    }
    EXPECT_NEAR(pr.p[1], (n * sxy - sx * sy) / (n * sxx - sx * sx), 1e-5);
    // A later fit with error bars clears the flag again.
    Problem with = line_problem(10, 1.0, 2.0, 0.0, 3);
    std::ostringstream os2;
    OutputSink out2(os2);
    fit(e, out2, inputs(with, model), with.p, with.err, iterations, max);
    EXPECT_EQ(e.no_error_bars, 0);
    EXPECT_EQ(os2.str().find("No error bars"), std::string::npos);
}

TEST_F(Minimiser, FirstStepIsTheDampedNormalEquationSolution) {
    Problem pr = line_problem(12, 3.0, -0.5, 1.0, 21);
    pr.p[0] = 1.0;
    pr.p[1] = 0.25;
    Line model;
    // Starting chi-square and the damping factor of the first step.
    double chi = 0.0, a00 = 0, a01 = 0, a11 = 0, b0 = 0, b1 = 0;
    for (std::size_t i = 0; i < pr.x.size(); ++i) {
        const double v = static_cast<double>(pr.sigma[i] * pr.sigma[i]);
        const double r = pr.y[i] - (pr.p[0] + pr.p[1] * pr.x[i]);
        chi += r * r / v;
        a00 += 1.0 / v;
        a01 += pr.x[i] / v;
        a11 += static_cast<double>(pr.x[i]) * pr.x[i] / v;
        b0 += r / v;
        b1 += r * pr.x[i] / v;
    }
    chi /= 10.0;
    const double lambda = (chi < 10.0 && chi < 10.0) ? chi / 10.0 : 1.0;
    a00 *= 1.0 + lambda;
    a11 *= 1.0 + lambda;
    const double det = a00 * a11 - a01 * a01;
    const double step0 = (a11 * b0 - a01 * b1) / det, step1 = (a00 * b1 - a01 * b0) / det;
    max = 1;
    run_fit(pr, model);
    EXPECT_NEAR(pr.p[0], 1.0 + step0, 1e-6 * std::fabs(step0));
    EXPECT_NEAR(pr.p[1], 0.25 + step1, 1e-6 * std::fabs(step1));
    EXPECT_NEAR(pr.err[0], std::sqrt((1.0 + lambda) * a11 / det), 1e-6);
    EXPECT_NEAR(pr.err[1], std::sqrt((1.0 + lambda) * a00 / det), 1e-6);
    EXPECT_EQ(e.lambda, lambda);
}

TEST_F(Minimiser, OneIterationMaximumPrintsNoIterationLine) {
    Problem pr = line_problem(10, 1.0, 2.0, 1.0, 4);
    Line model;
    max = 1;
    run_fit(pr, model);
    EXPECT_EQ(iterations, 1);
    EXPECT_EQ(os.str().find("Iteration"), std::string::npos);
    EXPECT_NE(pr.p[1], 0.0); // the one step was taken
    // A maximum of 0 becomes 100 and is written back.
    max = 0;
    run_fit(pr, model);
    EXPECT_EQ(max, 100);
}

TEST_F(Minimiser, PerfectFitStopsAtOnce) {
    Problem pr = line_problem(10, 1.0, 2.0, 0.0, 5);
    pr.p[0] = 1.0;
    pr.p[1] = 2.0;
    Line model;
    run_fit(pr, model);
    EXPECT_EQ(iterations, 1);
    EXPECT_EQ(count_lines(os.str(), "Iteration"), 1);
}

TEST_F(Minimiser, ParameterWithoutEffectGivesZeroDeterminant) {
    Problem pr = line_problem(10, 1.0, 2.0, 0.0, 6);
    pr.p[0] = 0.5;
    pr.p[1] = 0.5;
    pr.err[0] = 7.0;
    pr.err[1] = 8.0;
    struct OnlyFirst {
        double operator()(std::span<const double> a, float x) const { return a[0] * x; }
    } model;
    run_fit(pr, model);
    EXPECT_EQ(iterations, 1);
    EXPECT_NE(os.str().find("      zero determinant !\a\n"), std::string::npos);
    EXPECT_EQ(os.str().find("Iteration"), std::string::npos);
    // Parameters and the caller's errors are untouched by the failed step.
    EXPECT_EQ(pr.p[0], 0.5);
    EXPECT_EQ(pr.p[1], 0.5);
    EXPECT_EQ(pr.err[0], 7.0);
    EXPECT_EQ(pr.err[1], 8.0);
}

TEST_F(Minimiser, ZeroParameterIsPerturbedByTheFloorStep) {
    // With the minimal step the derivative of a*x with respect to a at a = 0
    // is (1e-15 * x - 0) / 1e-15 = x: the one step of this linear model is
    // the exact solution 2, damped by 1 + lambda.
    Problem pr;
    pr.x = {1, 2, 3};
    pr.y = {2, 4, 6};
    pr.sigma = {10, 10, 10};
    pr.nparams = 1;
    pr.mask[0] = 1;
    const double lambda = (4.0 + 16.0 + 36.0) / 100.0 / 2.0 / 10.0;
    struct Slope {
        double operator()(std::span<const double> a, float x) const { return a[0] * x; }
    } model;
    max = 1;
    run_fit(pr, model);
    EXPECT_NEAR(pr.p[0], 2.0 / (1.0 + lambda), 1e-6);
}

// Twice the straight line 1 + 2x, plus a varied wiggle the data do not have.
struct Wiggle {
    double operator()(std::span<const double> a, float x) const { return 1.0 + 2.0 * x + a[0] * std::sin(x); }
};

TEST_F(Minimiser, ModeThreeFitsTheModelScale) {
    Problem pr = line_problem(10, 2.0, 4.0, 0.0, 8);
    pr.mode = 3;
    pr.nparams = 1;
    pr.mask = {1};
    Wiggle model;
    max = 1;
    // Parameters after the first step (no scale is fitted with one step).
    Problem first = pr;
    EngineState e1;
    fit(e1, out, inputs(first, model), first.p, first.err, iterations, max);
    EXPECT_EQ(e1.scale, 1.0);
    // Two steps: the scale is fitted once, at the parameters of step one.
    max = 2;
    run_fit(pr, model);
    double s1 = 0.0, s2 = 0.0;
    for (std::size_t i = 0; i < pr.x.size(); ++i) {
        const double f = model(first.p, pr.x[i]) / pr.sigma[i];
        const double g = pr.y[i] / pr.sigma[i];
        s1 += f * g;
        s2 += f * f;
    }
    EXPECT_EQ(e.scale, s1 / s2);
    EXPECT_NEAR(e.scale, 2.0, 0.01);
    EXPECT_NE(os.str().find(" Iteration   1 mode = 3 Fcweight = "), std::string::npos);
    // The scale stays for later chi-squares until the next fit.
    chi(pr, model);
    EXPECT_EQ(e.scale, s1 / s2);
    pr.mode = 1;
    run_fit(pr, model);
    EXPECT_EQ(e.scale, 1.0);
}

TEST_F(Minimiser, ModeThreeWithAVanishingModelIsInfiniteWeight) {
    Problem pr;
    for (int i = 0; i < 5; ++i) {
        pr.x.push_back(static_cast<float>(i));
        pr.y.push_back(-10.0f);
        pr.sigma.push_back(1.0f);
    }
    pr.mode = 3;
    pr.nparams = 1;
    pr.mask = {1};
    pr.p[0] = 1.0;
    // Follows its parameter above 0.5 and is 0 below: the first step goes
    // negative and leaves nothing to scale.
    struct Gate {
        double operator()(std::span<const double> a, float) const { return a[0] > 0.5 ? a[0] : 0.0; }
    } model;
    max = 2;
    run_fit(pr, model);
    EXPECT_NE(os.str().find(" Infinite Weight!\a\n Iteration   1 mode = 3 Fcweight =   1.00000E+30\n"),
              std::string::npos)
        << os.str();
    EXPECT_EQ(e.scale, 1e30);
}

TEST_F(Minimiser, DumpModeWritesInputAndDetails) {
    Problem pr = line_problem(3, 1.0, 2.0, 0.5, 10);
    pr.mode = 11;
    Line model;
    max = 2;
    run_fit(pr, model);
    const std::string t = os.str();
    EXPECT_EQ(t.rfind("  Input i, X(i), Y(i), SIG(i) \n", 0), 0u);
    EXPECT_NE(t.find("\n         1  0.00000       "), std::string::npos);
    EXPECT_NE(t.find("  Input n, A(n), MASK(n) \n         1  0.00000        1\n"), std::string::npos);
    EXPECT_EQ(count_lines(t, " SQ DFM="), 3 * iterations);
    EXPECT_NE(t.find("  FIT: chi="), std::string::npos);
    EXPECT_NE(t.find("\n     A= "), std::string::npos);
    EXPECT_EQ(e.weight_mode, 1);
    EXPECT_EQ(e.dump, 1);
}

TEST_F(Minimiser, BadInputReturnsWithoutHanging) {
    Line model;
    { // NaN in the data.
        Problem pr = line_problem(10, 1.0, 2.0, 0.0, 11);
        pr.y[3] = std::nanf("");
        e = EngineState{}; // each case on a fresh engine
        run_fit(pr, model);
        EXPECT_LE(iterations, 250);
    }
    { // Infinite parameter and infinite sigma.
        Problem pr = line_problem(10, 1.0, 2.0, 0.0, 12);
        pr.p[0] = INFINITY;
        pr.sigma[2] = INFINITY;
        e = EngineState{}; // each case on a fresh engine
        run_fit(pr, model);
        EXPECT_LE(iterations, 250);
    }
    { // All-zero data.
        Problem pr = line_problem(10, 0.0, 0.0, 0.0, 13);
        std::fill(pr.sigma.begin(), pr.sigma.end(), 0.0f);
        e = EngineState{}; // each case on a fresh engine
        run_fit(pr, model);
        EXPECT_EQ(iterations, 1);
    }
    { // Fifty parameters, one point.
        Problem pr = line_problem(1, 1.0, 2.0, 0.0, 14);
        pr.nparams = 50;
        pr.mask.fill(1);
        e = EngineState{}; // each case on a fresh engine
        run_fit(pr, model);
        EXPECT_EQ(iterations, 1); // the unused slots make the matrix singular
    }
    { // No data at all; counts out of range.
        Problem pr;
        pr.nparams = 2;
        pr.mask = {1, 1};
        e = EngineState{}; // each case on a fresh engine
        run_fit(pr, model);
        EngineInputs odd = inputs(pr, model);
        odd.npoints = -5;
        odd.nparams = 1000;
        fit(e, out, odd, pr.p, pr.err, iterations, max);
        EXPECT_EQ(e.npoints, 0);
        EXPECT_EQ(e.nparams, 50);
    }
}

TEST_F(CorrelationMatrix, SumOfParametersIsFullyCorrelated) {
    Problem pr = line_problem(8, 1.0, 2.0, 0.0, 15);
    pr.p[0] = 1.0;
    pr.p[1] = 2.0;
    pr.nparams = 3;
    pr.mask = {1, 1, 1};
    SumOnly model;
    correlation_matrix(e, out, inputs(pr, model));
    EXPECT_EQ(os.str(), "          CORRELATION MATRIX :\n"
                        "\n"
                        "       1     2     3\n"
                        "  1  1.00\n"
                        "  2  1.00  1.00\n"
                        "  3  0.00  0.00  0.00\n");
}

TEST_F(CorrelationMatrix, BlocksOfTwentyOneColumns) {
    Problem pr = line_problem(30, 1.0, 2.0, 0.0, 16);
    pr.nparams = 25;
    pr.mask.fill(0);
    Line model;
    correlation_matrix(e, out, inputs(pr, model));
    const std::string t = os.str();
    // Two blocks: the second header holds columns 22 to 25, rows 1 to 21
    // of that block show only their number.
    EXPECT_EQ(count_lines(t, "\n\n "), 2);
    EXPECT_NE(t.find("\n      22    23    24    25\n  1\n  2\n"), std::string::npos);
    EXPECT_NE(t.find("\n 25  0.00  0.00  0.00  0.00\n"), std::string::npos);
    EXPECT_NE(t.find("\n 21  0.00"), std::string::npos);
}

} // namespace
} // namespace tarva
