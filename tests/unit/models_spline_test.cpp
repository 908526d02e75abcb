// Functions that follow the data: straight-line interpolation, the natural
// cubic spline and the SPLINE command.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <vector>

#include "command_fixture.h"
#include "models/spline.h"
#include "models_fixture.h"
#include "session/session.h"

namespace tarva {
namespace {

using testing::ModelBench;

TEST(LinearInterpolation, BetweenAndBeyondThePoints) {
    ModelBench b;
    b.points({{0.0f, 0.0f}, {1.0f, 10.0f}, {3.0f, 30.0f}, {4.0f, 20.0f}});
    EXPECT_EQ(b.at(8, 1, 1.0f), 10.0);
    EXPECT_EQ(b.at(8, 1, 4.0f), 20.0);
    EXPECT_DOUBLE_EQ(b.at(8, 1, 2.0f), 20.0);
    EXPECT_DOUBLE_EQ(b.at(8, 1, 3.5f), 25.0);
    EXPECT_DOUBLE_EQ(b.at(8, 1, -1.0f), -10.0); // along the first interval
    EXPECT_DOUBLE_EQ(b.at(8, 1, 6.0f), 0.0);    // along the last
    // Within 1e-6 of a point: that point's Y exactly.
    EXPECT_EQ(b.at(8, 1, 1.0000005f), 10.0);
    // The parameter is ignored.
    b.params({123.0});
    EXPECT_DOUBLE_EQ(b.at(8, 1, 2.0f), 20.0);
}

TEST(LinearInterpolation, EqualXAndFewPoints) {
    ModelBench b;
    b.points({{1.0f, 5.0f}, {1.0f, 7.0f}, {2.0f, 9.0f}});
    EXPECT_EQ(b.at(8, 1, 0.0f), 7.0); // equal X bound the interval: the right-hand Y
    b.points({{0.0f, 0.0f}, {2.0f, 5.0f}, {2.0f, 7.0f}});
    EXPECT_EQ(b.at(8, 1, 3.0f), 7.0);
    b.points({{2.0f, 4.5f}});
    EXPECT_EQ(b.at(8, 1, 9.0f), 4.5);
    b.data.count = 0;
    EXPECT_EQ(b.at(8, 1, 9.0f), 4.5); // Y(1) whatever is left there
    b.data.count = 5000;              // a corrupted count reads no further than the arrays
    EXPECT_TRUE(std::isfinite(b.at(8, 1, 9.0f)));
}

// Natural spline second derivatives by an independent double-precision
// tridiagonal solve; c = M/2.
std::vector<double> natural_c(const std::vector<double>& x, const std::vector<double>& y) {
    const std::size_t n = x.size();
    std::vector<double> sub(n, 0.0), diag(n, 1.0), sup(n, 0.0), rhs(n, 0.0), m(n, 0.0);
    for (std::size_t i = 1; i + 1 < n; ++i) {
        double h0 = x[i] - x[i - 1], h1 = x[i + 1] - x[i];
        sub[i] = h0;
        diag[i] = 2.0 * (h0 + h1);
        sup[i] = h1;
        rhs[i] = 6.0 * ((y[i + 1] - y[i]) / h1 - (y[i] - y[i - 1]) / h0);
    }
    for (std::size_t i = 1; i < n; ++i) { // Thomas algorithm
        double w = sub[i] / diag[i - 1];
        diag[i] -= w * sup[i - 1];
        rhs[i] -= w * rhs[i - 1];
    }
    m[n - 1] = rhs[n - 1] / diag[n - 1];
    for (std::size_t i = n - 1; i-- > 0;) m[i] = (rhs[i] - sup[i] * m[i + 1]) / diag[i];
    for (double& v : m) v /= 2.0;
    return m;
}

// The reference spline at x, the end cubics continued beyond the data.
double natural_value(const std::vector<double>& x, const std::vector<double>& y, const std::vector<double>& c,
                     double t) {
    std::size_t i = 0;
    while (i + 2 < x.size() && t > x[i + 1]) ++i;
    double h = x[i + 1] - x[i];
    double b = (y[i + 1] - y[i]) / h - h * (c[i + 1] + 2.0 * c[i]) / 3.0;
    double d = (c[i + 1] - c[i]) / (3.0 * h);
    double u = t - x[i];
    return y[i] + u * (b + u * (c[i] + u * d));
}

TEST(SplineCoefficients, ThreePointArch) {
    ModelBench b;
    b.points({{0.0f, 0.0f}, {1.0f, 1.0f}, {2.0f, 0.0f}});
    std::ostringstream sink_stream;
    OutputSink out(sink_stream);
    EXPECT_TRUE(compute_spline(b.data, b.tables, out));
    EXPECT_EQ(b.tables.c[0], 0.0f);
    EXPECT_EQ(b.tables.c[1], -1.5f);
    EXPECT_EQ(b.tables.c[2], 0.0f);
    EXPECT_EQ(b.tables.a[2], 0.0f); // entry N holds Y(N)
    EXPECT_EQ(b.tables.slots[0].first, 1);
    EXPECT_EQ(b.tables.slots[0].last, 3);
    EXPECT_TRUE(sink_stream.str().empty());
}

TEST(SplineCoefficients, AgreeWithAnIndependentSolve) {
    std::vector<double> xs, ys;
    ModelBench b;
    b.data.count = 40;
    for (int i = 0; i < 40; ++i) {
        float x = 0.3f * static_cast<float>(i) + 0.05f * static_cast<float>(i % 3);
        float y = std::sin(x) * 5.0f + 0.1f * static_cast<float>(i);
        b.data.X[static_cast<std::size_t>(i)] = x;
        b.data.Y[static_cast<std::size_t>(i)] = y;
        xs.push_back(x);
        ys.push_back(y);
    }
    std::ostringstream sink_stream;
    OutputSink out(sink_stream);
    ASSERT_TRUE(compute_spline(b.data, b.tables, out));
    std::vector<double> c = natural_c(xs, ys);
    for (std::size_t i = 0; i < xs.size(); ++i) EXPECT_NEAR(b.tables.c[i], c[i], 2e-4 * (1.0 + std::abs(c[i]))) << i;

    b.params({1.0, 1.0});
    for (double t = -0.5; t < 12.5; t += 0.173) {
        double ref = natural_value(xs, ys, c, t);
        EXPECT_NEAR(b.at(11, 2, static_cast<float>(t)), ref, 1e-3 * (1.0 + std::abs(ref))) << t;
    }
    // Through the knots.
    for (std::size_t i = 0; i < xs.size(); ++i) EXPECT_NEAR(b.at(11, 2, static_cast<float>(xs[i])), ys[i], 1e-4) << i;
}

TEST(SplineFunction, SetNumbersAndRange) {
    ModelBench b;
    b.points({{0.0f, 0.0f}, {1.0f, 1.0f}, {2.0f, 0.0f}});
    std::ostringstream sink_stream;
    OutputSink out(sink_stream);
    for (auto& slot : b.tables.slots) slot = SplineSlot{1, 3};
    compute_spline(b.data, b.tables, out);
    b.params({1.0});
    double at_half = b.at(11, 2, 0.5f);
    EXPECT_NEAR(at_half, 0.6875, 1e-6);
    b.A(1) = 1.9; // truncated: set 1
    EXPECT_EQ(b.at(11, 2, 0.5f), at_half);
    b.A(1) = 0.0;
    EXPECT_EQ(b.at(11, 2, 0.5f), 0.0);
    b.A(1) = 11.0;
    EXPECT_EQ(b.at(11, 2, 0.5f), 0.0);
    b.A(1) = -3.0;
    EXPECT_EQ(b.at(11, 2, 0.5f), 0.0);
    b.A(1) = std::nan("");
    EXPECT_EQ(b.at(11, 2, 0.5f), 0.0);
    // Below X(1): the first interval's cubic at a negative offset.
    b.A(1) = 1.0;
    double t = -1.0;
    double first = b.tables.a[0] + t * (b.tables.b[0] + t * (b.tables.c[0] + t * b.tables.d[0]));
    EXPECT_DOUBLE_EQ(b.at(11, 2, -1.0f), first);
    EXPECT_NEAR(first, -1.0, 1e-6); // b(1) = 1.5, c(1) = 0, d(1) = -0.5
    // Above X(N): the last interval's cubic continued.
    EXPECT_NEAR(b.at(11, 2, 3.0f), -1.0, 1e-6); // b(2) = 0, c(2) = -1.5, d(2) = 0.5
}

TEST(SplineFunction, NothingComputedYetIsZero) {
    ModelBench b;
    b.points({{0.0f, 2.0f}, {1.0f, 3.0f}});
    b.params({1.0});
    EXPECT_EQ(b.at(11, 2, 0.5f), 0.0);
}

TEST(SplineFunction, HighSetsStayInsideTheTables) {
    ModelBench b;
    b.data.count = kMaxPoints;
    for (int i = 0; i < kMaxPoints; ++i) {
        b.data.X[static_cast<std::size_t>(i)] = static_cast<float>(i);
        b.data.Y[static_cast<std::size_t>(i)] = static_cast<float>(i % 7);
    }
    std::ostringstream sink_stream;
    OutputSink out(sink_stream);
    for (auto& slot : b.tables.slots) slot = SplineSlot{1, kMaxPoints};
    ASSERT_TRUE(compute_spline(b.data, b.tables, out));
    b.params({10.0});
    // Set 10 begins at entry 955; intervals past entry 1060 have no table.
    EXPECT_EQ(b.at(11, 2, 1000.5f), 0.0);
    EXPECT_TRUE(std::isfinite(b.at(11, 2, 50.5f)));
    b.params({1.0});
    EXPECT_NEAR(b.at(11, 2, 1023.0f), 1023 % 7, 1e-3);
}

struct SplineCommand : testing_support::CommandFixture {
    void points(std::initializer_list<std::array<float, 2>> xy) {
        s.data.count = 0;
        for (const auto& p : xy) {
            s.data.X[static_cast<std::size_t>(s.data.count)] = p[0];
            s.data.Y[static_cast<std::size_t>(s.data.count)] = p[1];
            ++s.data.count;
        }
    }
    ModelInputs inputs() { return ModelInputs{s.fit, s.data, s.models}; }
};

TEST_F(SplineCommand, MakesTheSplineTheCurrentFunction) {
    points({{0.0f, 0.0f}, {1.0f, 1.0f}, {2.0f, 0.0f}, {4.0f, 2.0f}});
    s.fit.nparams = 7;
    s.fit.value[0] = 5.0;
    EXPECT_EQ(run("SPLINE"), "");
    EXPECT_EQ(s.fit.function, 11);
    EXPECT_EQ(s.fit.nparams, 2);
    EXPECT_EQ(s.fit.value[0], 1.0);
    EXPECT_EQ(s.fit.value[1], 1.0);
    EXPECT_EQ(s.fit.function_name().trimmed(), "Cubic spline interp. for ASCENDING X data points");
    EXPECT_EQ(s.fit.param_name(0).view(), "St. spline");
    EXPECT_EQ(s.fit.param_name(1).view(), "Fi. spline");
    for (const SplineSlot& slot : s.models.slots) {
        EXPECT_EQ(slot.first, 1);
        EXPECT_EQ(slot.last, 4);
    }
    // The spline passes through the points; evaluating renames the function
    // but names no parameters.
    ModelInputs m = inputs();
    EXPECT_NEAR(evaluate(m, s.fit.value, 2.0f), 0.0, 1e-6);
    EXPECT_NEAR(evaluate(m, s.fit.value, 4.0f), 2.0, 1e-6);
    EXPECT_EQ(s.fit.function_name().trimmed(), "Cubic spline");
    EXPECT_EQ(s.fit.param_name(0).view(), "St. spline");
}

TEST_F(SplineCommand, IdenticalXValues) {
    points({{0.0f, 0.0f}, {1.0f, 1.0f}, {1.0f, 3.0f}, {2.0f, 0.0f}});
    EXPECT_EQ(run("SPLINE"), " Identical x-values encountered at point   1\n");
    // The function is switched all the same.
    EXPECT_EQ(s.fit.function, 11);
    EXPECT_EQ(s.fit.nparams, 2);
    EXPECT_EQ(s.fit.param_name(1).view(), "Fi. spline");
}

TEST_F(SplineCommand, FewPoints) {
    points({{3.0f, 7.0f}});
    std::string said = run("SPLINE");
    ModelInputs m = inputs();
    EXPECT_EQ(evaluate(m, s.fit.value, 3.0f), 7.0);
    EXPECT_EQ(evaluate(m, s.fit.value, 9.0f), 7.0);
    s.data.count = 0;
    said += run("SPLINE");
    EXPECT_EQ(s.fit.function, 11);
    EXPECT_EQ(s.models.slots[3].last, 0);
    EXPECT_TRUE(std::isfinite(evaluate(m, s.fit.value, 1.0f)));
    EXPECT_EQ(said, "");
}

} // namespace
} // namespace tarva
