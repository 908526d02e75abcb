// FIT/C (the fit to convergence) and CORREL/E (correlation of the
// estimates), through the commands: results and errors against closed
// forms, the report, the benchmark spectrum, and every input it refuses.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <fstream>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "command_fixture.h"
#include "commands/fit/session_model.h"
#include "fitting/converging_fit.h"
#include "fitting/parallel.h"

namespace tarva {
namespace {

using testing::HasSubstr;
using testing_support::CommandFixture;

// y = A1 + A3 x on x = 1..10 with SIGMA 1 (function 2, slot 2 the X offset
// held at 0).
class ConvergingFit : public CommandFixture {
protected:
    const std::vector<float> x{1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    const std::vector<float> y{1.2f, 2.9f, 3.1f, 4.8f, 5.2f, 6.9f, 7.1f, 8.8f, 9.4f, 10.6f};

    void line(const std::vector<double>& start = {0.0, 0.0, 0.0}) {
        points(x, y);
        s.fit.function = 2;
        s.fit.nparams = 3;
        for (int k = 0; k < 3; ++k) {
            s.fit.value[k] = start[k];
            s.fit.error[k] = 7.0; // to see which errors a fit writes
            s.fit.mask[k] = k == 1 ? 0 : 1;
        }
    }
    // The state a refused fit must leave as it was.
    std::vector<double> state() const {
        std::vector<double> v;
        for (int k = 0; k < s.fit.nparams; ++k) {
            v.push_back(s.fit.value[k]);
            v.push_back(s.fit.error[k]);
        }
        return v;
    }
};

TEST_F(ConvergingFit, StraightLineReachesTheLeastSquaresSolutionWithItsStandardErrors) {
    line();
    const std::string text = run("FIT/C");
    // Closed forms for unit weights: slope Sxy/Sxx, standard errors
    // sqrt(sum x^2 / (n Sxx)) and sqrt(1 / Sxx).
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        sx += x[i];
        sy += y[i];
        sxx += double(x[i]) * x[i];
        sxy += double(x[i]) * y[i];
    }
    const double n = 10.0, d = n * sxx - sx * sx;
    const double slope = (n * sxy - sx * sy) / d, intercept = (sy - slope * sx) / n;
    EXPECT_NEAR(s.fit.value[0], intercept, 1e-9);
    EXPECT_NEAR(s.fit.value[2], slope, 1e-9);
    EXPECT_EQ(s.fit.value[1], 0.0);
    // The derivatives of a polynomial are analytic: the errors are the
    // closed forms but for rounding.
    EXPECT_NEAR(s.fit.error[0], std::sqrt(sxx / d), 1e-12);
    EXPECT_NEAR(s.fit.error[2], std::sqrt(n / d), 1e-12);
    EXPECT_EQ(s.fit.error[1], 7.0) << "a fixed parameter keeps its error";
    EXPECT_NE(text.find(" 1 Yo         =   0.42667         error =   0.68313    \n"), std::string::npos) << text;
    EXPECT_NE(text.find(" 3 k1         =    1.0133         error =   0.11010    \n"), std::string::npos) << text;
    EXPECT_EQ(text.find(" 2 a "), std::string::npos) << text;
    // FIT's report around it: active count, start, iterations, stop, final.
    EXPECT_EQ(
        text.rfind(
            " No. parameters active =        2\n Starting CHI**2 =    55.715    \n Iteration   1  mode 1  chi-sq = ",
            0),
        0u)
        << text;
    EXPECT_NE(text.find("\n After "), std::string::npos);
    EXPECT_THAT(text, HasSubstr(" iterations.\n Converged: the last step changed each parameter by less than 1E-6 of "
                                "itself and the chi-square by less than 1E-10.\n"));
    EXPECT_NE(text.find(" Final CHI**2 =   0.12567    \n"), std::string::npos) << text;

    // CHI sees the result; CORREL/E prints the correlation of the estimates
    // (negative for intercept and slope), CORREL its own matrix as before.
    EXPECT_NE(run("CHI").find("Reduced CHI**2 =  0.12567    "), std::string::npos);
    EXPECT_EQ(run("CORREL/E"), "          CORRELATION MATRIX OF THE ESTIMATES :\n\n"
                               "       1     2     3\n  1  1.00\n  2  0.00  0.00\n  3 -0.89  0.00  1.00\n");
    EXPECT_NE(run("CORREL").find("  3  0.89  0.00  1.00\n"), std::string::npos);
}

TEST_F(ConvergingFit, IterationLimitIsSaidPlainly) {
    line({50.0, 0.0, -20.0});
    const std::string text = run("FIT/C 1");
    EXPECT_EQ(text.rfind(" Maximum number of iterations set to     1\n\n No. parameters active =        2\n", 0), 0u)
        << text;
    EXPECT_NE(text.find(" After        1 iterations.\n NOT converged: the iteration limit was reached first.\n"),
              std::string::npos)
        << text;
}

// A stop query that says stop from its second question on.
struct StopAfterOne {
    static inline int asked = 0;
    static bool query() { return ++asked > 1; }
};

// Stopped between iterations, the fit leaves what the iteration limit
// leaves at the same count: the parameters and errors of the last whole
// iteration.
TEST_F(ConvergingFit, StopQueryEndsItAsTheIterationLimitWould) {
    line({50.0, 0.0, -20.0});
    run("FIT/C 1");
    const std::vector<double> limited = state();
    line({50.0, 0.0, -20.0});
    std::ostringstream text;
    OutputSink out(text);
    SessionModel model(s);
    StopAfterOne::asked = 0;
    ConvergingFitSettings settings;
    settings.stop = StopAfterOne::query;
    const ConvergingFitResult r = converging_fit(s.engine(), out, model.engine_inputs(), settings);
    EXPECT_EQ(r.stop, ConvergingStop::Stopped);
    EXPECT_EQ(r.iterations, 1);
    for (int k : {0, 2}) {
        EXPECT_EQ(r.values[k], limited[2 * k]) << k;
        EXPECT_EQ(r.errors[k], limited[2 * k + 1]) << k;
    }
}

TEST_F(ConvergingFit, NoErrorBarsMeanUnitWeightsAsFitAnnounces) {
    line();
    for (int i = 0; i < 10; ++i) s.data.SIGMA[i] = 0.0f;
    const std::string text = run("FIT/C");
    EXPECT_NE(text.find(" Starting CHI**2 =    55.715    \n No error bars: Using unweighted chi-squares.\n"),
              std::string::npos)
        << text;
    EXPECT_NEAR(s.fit.error[2], 0.11010, 5e-6);
}

TEST_F(ConvergingFit, ParametersThatEnterOnlyTogetherAreNotDetermined) {
    // Yo and a (with k1) both shift the line: only Yo + k1 a is determined.
    line({1.0, 0.5, 1.0});
    s.fit.mask[1] = 1;
    const std::string text = run("FIT/C");
    EXPECT_NE(text.find(" 1 Yo         =   "), std::string::npos);
    EXPECT_NE(text.find("error = not determined\n  2 a "), std::string::npos) << text;
    EXPECT_NE(
        text.find("     error =   0.11010    \n Errors not determined: the curvature matrix is singular for those "
                  "parameters.\n"),
        std::string::npos)
        << text;
    EXPECT_EQ(s.fit.error[0], 0.0);
    EXPECT_NEAR(s.fit.value[0] + s.fit.value[2] * s.fit.value[1], 0.42667, 1e-5);
    EXPECT_EQ(run("CORREL/E"), " The curvature matrix is singular: the estimates of parameters  1  2 are "
                               "not determined, nor are their correlations.\n");
}

// Each input FIT/C refuses: one message, nothing changed.
struct Refusal {
    const char* name;
    void (*setup)(Session&);
    const char* message;
};

class ConvergingFitRefuses : public ConvergingFit, public ::testing::WithParamInterface<Refusal> {};

TEST_P(ConvergingFitRefuses, WithOneMessageAndNothingChanged) {
    line({1.0, 0.0, 2.0});
    GetParam().setup(s);
    const auto before = state();
    const std::string text = run("FIT/C");
    EXPECT_EQ(text.substr(text.find('\n') + 1), " " + std::string(GetParam().message) + "\n\n");
    EXPECT_EQ(state(), before);
}

INSTANTIATE_TEST_SUITE_P(
    BadInput, ConvergingFitRefuses,
    ::testing::Values(
        Refusal{"NoData", [](Session& s) { s.data.count = 0; }, "NO DATA! "},
        Refusal{"NothingVaried", [](Session& s) { s.fit.mask[0] = s.fit.mask[2] = 0; },
                "No parameters active, can't fit!"},
        Refusal{"TooFewPoints", [](Session& s) { s.data.count = 2; },
                "Too few data points for meaningful fit! FIT/C needs more points than the 2 active parameters."},
        Refusal{"ModelWeights", [](Session& s) { s.fit.mode = 2; },
                "FIT/C fits with fixed weights only (modes 1 and 4); mode 2 weights by the function or scales it."},
        Refusal{"ScaledModel", [](Session& s) { s.fit.mode = 13; },
                "FIT/C fits with fixed weights only (modes 1 and 4); mode 3 weights by the function or scales it."},
        Refusal{"InfiniteModel", [](Session& s) { s.fit.value[2] = 1e308; },
                "The function is not finite at X = 2.0000, can't fit!"},
        Refusal{"StartOutsideItsBounds",
                [](Session& s) {
                    s.fit.bounds[2] = ParameterBounds{5.0, 10.0};
                },
                "Parameter 3 = 2.0000 is outside its bounds (5.0000 to 10.000): change it with PARAM or PARAM/L, "
                "can't fit!"},
        Refusal{"ParameterWithoutEffect",
                [](Session& s) {
                    s.fit.mask[1] = 1; // a moves nothing while k1 is 0
                    s.fit.value[2] = 0.0;
                    s.fit.mask[2] = 0;
                },
                "The function does not depend on parameter 2 here: fix it with MASK or change its value, can't fit!"}),
    [](const ::testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });

TEST_F(ConvergingFit, ModeFourWeightsByTheData) {
    line();
    s.fit.mode = 4;
    run("FIT/C");
    // The weighted straight line in closed form, weights 1 / |(Y(i) - Y(j)) Y(i)|.
    double sw = 0, swx = 0, swy = 0, swxx = 0, swxy = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const std::size_t j = i == 0 ? 1 : i - 1;
        const double w = 1.0 / std::fabs(double((y[i] - y[j]) * y[i]));
        sw += w;
        swx += w * x[i];
        swy += w * y[i];
        swxx += w * x[i] * x[i];
        swxy += w * x[i] * y[i];
    }
    const double d = sw * swxx - swx * swx;
    EXPECT_NEAR(s.fit.value[2], (sw * swxy - swx * swy) / d, 1e-9);
    EXPECT_NEAR(s.fit.error[2], std::sqrt(sw / d), 1e-7 * std::sqrt(sw / d));
}

// The benchmark spectrum (1024 points, line plus 16 Gaussians, 50 free
// parameters, weights 1/SIGMA^2): one FIT/C from the start values reaches
// the minimum, where one FIT stops at 1.0220; with its passes shared with
// the helper thread it ends on the same bits.
TEST_F(ConvergingFit, BenchmarkSpectrumReachesTheMinimumWithOrWithoutTheHelper) {
    const std::string dir = std::string(TARVA_SOURCE_DIR) + "/bench/data/";
    std::ifstream data(dir + "p1.dat");
    std::vector<float> px, py, pe;
    float a, b, c;
    while (data >> a >> b >> c) {
        px.push_back(a);
        py.push_back(b);
        pe.push_back(c);
    }
    std::vector<std::array<double, kMaxParams>> results;
    for (HelperUse use : {HelperUse::never, HelperUse::always}) {
        set_helper_use(use);
        points(px, py, pe);
        s.fit.function = 18;
        std::ifstream start(dir + "p1_start.txt");
        std::string name;
        double v;
        int k = 0;
        while (start >> name >> v) {
            s.fit.value[k] = v;
            s.fit.mask[k++] = 1;
        }
        ASSERT_EQ(k, 50);
        s.fit.nparams = k;
        const std::string text = run("FIT/C");
        EXPECT_THAT(text, HasSubstr(" Final CHI**2 =    1.0219    \n"));
        EXPECT_THAT(text, HasSubstr("\n Converged: "));
        for (int j = 0; j < 50; ++j) EXPECT_GT(s.fit.error[j], 0.0) << j;
        results.push_back(s.fit.value);
        results.push_back(s.fit.error);
    }
    set_helper_use(HelperUse::when_it_pays);
    EXPECT_EQ(results[0], results[2]);
    EXPECT_EQ(results[1], results[3]);
}

// A slope that starts at exactly 0 with X in keV and counts in the
// thousands: its derivative step comes from the data's ranges, so the fit
// moves it and ends where a start of 0.01 ends (function 28: Y0 + a0
// exp(-a1 x) + s x, the second exponential fixed at 0).
TEST_F(ConvergingFit, SlopeStartingAtZeroConvergesLikeANonzeroStart) {
    std::vector<float> kev, counts;
    for (int i = 0; i < 191; ++i) {
        const double x = 1.0 + 0.1 * i;
        kev.push_back(static_cast<float>(x));
        counts.push_back(static_cast<float>(200.0 + 5000.0 * std::exp(-0.3 * x) + 12.0 * x + 9.0 * std::sin(3.0 * i)));
    }
    std::vector<std::vector<double>> fits;
    for (double slope : {0.0, 0.01}) {
        points(kev, counts);
        s.fit.function = 28;
        s.fit.nparams = 6;
        const double start[6] = {150.0, 4000.0, 0.25, slope, 0.0, 0.0};
        for (int k = 0; k < 6; ++k) {
            s.fit.value[k] = start[k];
            s.fit.mask[k] = k < 4 ? 1 : 0;
        }
        EXPECT_THAT(run("FIT/C"), HasSubstr("\n Converged: "));
        fits.push_back({s.fit.value[0], s.fit.value[1], s.fit.value[2], s.fit.value[3], s.fit.error[3]});
    }
    EXPECT_NEAR(fits[0][3], 12.0, 0.5);
    for (std::size_t k = 0; k < fits[0].size(); ++k) EXPECT_NEAR(fits[0][k], fits[1][k], 1e-6 * std::fabs(fits[1][k]));
}

// A narrow peak (FWHM 1.5 at X = 20) on a flat background. Started wide and
// off its centre, FIT/C ends at the negative width that draws the same
// curve; with the width bounded below by 0.1 it ends at the positive one,
// within the bound, and every error is the unbounded fit's (the bound does
// not bind there, and the errors are those of the parameters themselves).
TEST_F(ConvergingFit, WidthBoundKeepsThePeakWithinItAndLeavesTheErrors) {
    std::vector<float> x, y;
    for (int i = 0; i <= 100; ++i) {
        x.push_back(0.5f * static_cast<float>(i));
        y.push_back(static_cast<float>(10.0 + 500.0 * std::exp(-2.7725887 * std::pow(0.5 * i - 20.0, 2) / 2.25) +
                                       3.0 * std::sin(7.0 * i)));
    }
    auto start = [&] {
        points(x, y);
        s.fit.function = 18;
        s.fit.nparams = 5;
        const double v[5] = {12.0, 0.0, 300.0, 24.0, 6.0};
        for (int k = 0; k < 5; ++k) {
            s.fit.value[k] = v[k];
            s.fit.mask[k] = k == 1 ? 0 : 1;
        }
    };
    start();
    run("FIT/C");
    ASSERT_LT(s.fit.value[4], 0.0) << "this start must run into a negative width unbounded";
    const auto unbounded = s.fit;
    start();
    run("PARAM/L 5", "0.1 *\n");
    EXPECT_EQ(run("PARAM/L"), "  5    Fwhm 1  bounds   0.10000     to          none\n");
    const std::string text = run("FIT/C");
    EXPECT_THAT(text, HasSubstr("\n Converged: "));
    EXPECT_NEAR(s.fit.value[4], -unbounded.value[4], 1e-6);
    for (int k : {0, 2, 3, 4}) EXPECT_NEAR(s.fit.error[k], unbounded.error[k], 1e-6 * unbounded.error[k]) << k;
    // PARAM/A lists the bound on the bounded parameter's line only.
    const std::string listing = run("PARAM/A");
    EXPECT_THAT(listing, HasSubstr(" fit error =   2.86726E-03 bounds   0.10000     to          none\n"));
    EXPECT_THAT(listing, HasSubstr(" 4 Variable  Centre 1  =    19.994     fit error =   1.20332E-03\n"));
}

// PARAM/L k asks for the bounds ("*" for none, asked again until they
// read with low below high, an empty answer keeps them); PARAM/L lists them
// and PARAM/L * clears them.
TEST_F(ConvergingFit, ParamLSetsListsAndClearsBounds) {
    line();
    EXPECT_EQ(run("PARAM/L"), " No parameter has bounds.\n");
    const std::string prompt = "  3 k1         bounds          none to          none, new (low high, * for none) > ";
    EXPECT_EQ(run("PARAM/L 3", "2 1\nx 1\n-1 2.5\n"), prompt + prompt + prompt);
    run("PARAM/L 1", "* 7\n");
    run("PARAM/L 1", "\n");
    EXPECT_EQ(run("PARAM/L"), "  1 Yo         bounds          none to    7.0000    \n"
                              "  3 k1         bounds   -1.0000     to    2.5000    \n");
    EXPECT_EQ(run("PARAM/L 4"), " Parameter out of range,        4\n");
    run("PARAM/L 3", "* *\n");
    EXPECT_EQ(run("PARAM/L"), "  1 Yo         bounds          none to    7.0000    \n");
    EXPECT_EQ(run("PARAM/L *"), " Bounds of all parameters cleared.\n");
    EXPECT_EQ(run("PARAM/L"), " No parameter has bounds.\n");
}

// A model that is not a number beyond some parameter value: the steps that
// lead there are rejected, and the fit ends at the edge without a hang.
TEST(ConvergingFitLibrary, StepsIntoNotANumberAreRejected) {
    std::array<float, 10> x{}, y{}, sigma{};
    for (int i = 0; i < 10; ++i) {
        x[i] = float(i + 1);
        y[i] = 5.0f * x[i];
        sigma[i] = 1.0f;
    }
    auto model = [](std::span<const double> p, float xs) { return p[0] > 3.0 ? std::nan("") : p[0] * xs; };
    std::array<double, 50> params{};
    params[0] = 1.0;
    std::array<int, 50> masks{};
    masks[0] = 1;
    EngineState e;
    std::ostringstream text;
    OutputSink out(text);
    const EngineInputs in{x, y, sigma, 1, 10, ModelRef(model), params, 1, masks};
    const ConvergingFitResult r = converging_fit(e, out, in);
    EXPECT_NE(r.stop, ConvergingStop::IterationLimit) << text.str();
    EXPECT_NE(r.stop, ConvergingStop::NotStarted) << text.str();
    EXPECT_GT(r.values[0], 2.9);
    EXPECT_LE(r.values[0], 3.0);
    EXPECT_EQ(text.str().find("nan"), std::string::npos) << text.str();
}

TEST(ConvergingFitModes, OnlyFixedWeightsAreSupported) {
    EXPECT_TRUE(fixed_weights(1));
    EXPECT_TRUE(fixed_weights(11));
    EXPECT_TRUE(fixed_weights(4));
    EXPECT_FALSE(fixed_weights(3));
    EXPECT_FALSE(fixed_weights(0));
    EXPECT_FALSE(fixed_weights(5));
    EXPECT_FALSE(fixed_weights(-1));
}

} // namespace
} // namespace tarva
