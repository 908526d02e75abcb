// The evaluator's options and dispatch, and the names the function routines
// leave in the fit state.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "models/catalogue.h"
#include "models_fixture.h"

namespace tarva {
namespace {

using testing::ModelBench;

TEST(Evaluator, NumbersOutsideTheCatalogueAreUnusedAndZero) {
    for (int f : {0, 36, 42, 50, 51, -3, 1000}) {
        ModelBench b;
        b.params({1, 2, 3, 4, 5, 6});
        EXPECT_EQ(b.at(f, 6, 1.5f), 0.0) << f;
        EXPECT_EQ(b.name(), "Unused") << f;
    }
}

TEST(Evaluator, PlottingStylesAreZeroWhateverTheParameters) {
    const std::vector<std::pair<int, std::string>> styles = {{5, "Blank function"},
                                                             {9, "Connect data points (if sigma equals 3 raise pen)"},
                                                             {12, "Histogram"},
                                                             {13, "Bar Graph"}};
    for (const auto& [f, name] : styles) {
        ModelBench b;
        b.params({7, -3, 1e30, 2});
        EXPECT_EQ(b.at(f, 4, 3.0f), 0.0) << f;
        EXPECT_EQ(b.name(), name);
        // They name no parameters: the start-up names stay.
        EXPECT_EQ(b.param(1), "Blank     ");
    }
}

TEST(Evaluator, LogResultOption) {
    ModelBench b;
    b.fit.log_result = 1;
    b.params({-100.0}); // function 14: Yo + k1*tanh(k2*x) = Yo
    EXPECT_DOUBLE_EQ(b.at(14, 3, 0.5f), 2.0);
    b.params({0.0});
    EXPECT_EQ(b.at(14, 3, 0.5f), 0.0); // a zero result stays 0
    b.params({1e-3});
    EXPECT_DOUBLE_EQ(b.at(14, 3, 0.5f), -3.0);
}

TEST(Evaluator, SquareRootOption) {
    ModelBench b;
    b.fit.sqrt_result = 1;
    b.params({-16.0});
    EXPECT_DOUBLE_EQ(b.at(14, 3, 0.0f), 4.0);
    // Both options: log10 first, then the root of its magnitude.
    b.fit.log_result = 1;
    b.params({1e-4});
    EXPECT_DOUBLE_EQ(b.at(14, 3, 0.0f), 2.0);
}

TEST(Evaluator, ExponentArgumentOption) {
    // Function 2 with Yo = 0, a = 0, k1 = 1 returns its argument.
    ModelBench b;
    b.params({0, 0, 1});
    EXPECT_EQ(b.at(2, 3, 2.0f), 2.0);
    b.fit.exp_argument = 1;
    EXPECT_EQ(b.at(2, 3, 2.0f), 100.0);
    EXPECT_EQ(b.at(2, 3, 0.0f), 1.0);
    EXPECT_EQ(b.at(2, 3, -1.0f), static_cast<double>(0.1f)); // the argument is single precision
    // Beyond the single-precision range the argument is infinite, not undefined.
    EXPECT_TRUE(std::isinf(b.at(2, 3, 60.0f)));
}

TEST(Evaluator, ShortParameterVectorReadsAsZeros) {
    ModelBench b;
    b.fit.function = 28;
    b.fit.nparams = 6;
    const double two[] = {5.0, 3.0}; // Y0 = 5, a0 = 3, a1 = 0 ...
    EXPECT_DOUBLE_EQ(evaluate(b.m, two, 1.0f), 8.0);
    EXPECT_DOUBLE_EQ(evaluate(b.m, std::span<const double>(), 1.0f), 0.0);
}

TEST(Evaluator, PeakFunctionsLowerTheParameterCountTo50) {
    for (int f : {18, 19, 21, 30}) {
        ModelBench b;
        b.at(f, 60, 0.0f);
        EXPECT_EQ(b.fit.nparams, 50) << f;
        b.at(f, 49, 0.0f);
        EXPECT_EQ(b.fit.nparams, 49) << f;
    }
    for (int f : {2, 7, 15, 14}) {
        ModelBench b;
        b.params({1, 0, 1});
        b.at(f, 60, 1.0f); // reads no slot beyond 50
        EXPECT_EQ(b.fit.nparams, 60) << f;
    }
}

TEST(CatalogueListing, StopsAfterTheFirstUnusedAndRestores) {
    ModelBench b;
    b.fit.function = 18;
    std::vector<int> numbers;
    std::vector<std::string> names;
    list_catalogue(b.m, [&](int k, const FixedText<50>& name) {
        numbers.push_back(k);
        names.emplace_back(name.trimmed());
    });
    ASSERT_EQ(numbers.size(), kCatalogue.size() + 1);
    for (int k = 1; k <= kCatalogueSize + 1; ++k) EXPECT_EQ(numbers[static_cast<std::size_t>(k - 1)], k);
    EXPECT_EQ(names.back(), "Unused");
    for (std::size_t i = 0; i + 1 < names.size(); ++i) EXPECT_NE(names[i].substr(0, 6), "Unused") << i + 1;
    EXPECT_EQ(names[0], "Fermi fn B(z) = B0/(1+exp(C0+C1*z+...+C5*z^4))");
    EXPECT_EQ(names[15], "Error Function");
    EXPECT_EQ(names[25], "Y = (B*JN(AX)/(AX)**EX))**E  Bessel function");
    EXPECT_EQ(b.fit.function, 18);
}

TEST(CatalogueNames, NamesFitTheirFields) {
    for (int f = 1; f <= kCatalogueSize + 1; ++f) {
        EXPECT_LE(catalogue_name(f).size(), 50u) << f;
        EXPECT_FALSE(catalogue_name(f).empty()) << f;
    }
    // The long names are cut at exactly 50 characters.
    EXPECT_EQ(catalogue_name(4).size(), 50u);
    EXPECT_EQ(catalogue_name(15).size(), 50u);
}

TEST(CatalogueNames, ParameterNamesOfPlainFunctions) {
    ModelBench b;
    b.at(19, 10, 0.0f);
    EXPECT_EQ(b.name(), "Channeling function (2 flat top gaussians)");
    EXPECT_EQ(b.param(1), "Yintercept");
    EXPECT_EQ(b.param(2), "  Gradient");
    EXPECT_EQ(b.param(5), "    Fwhm 1");
    EXPECT_EQ(b.param(10), "Top width2");

    b.at(15, 12, 0.0f);
    EXPECT_EQ(b.param(8), "a6        ");
    EXPECT_EQ(b.param(9), "a6        ");
    EXPECT_EQ(b.param(11), "a10       ");
    EXPECT_EQ(b.param(12), "a11       ");

    b.at(2, 3, 0.0f); // all 22 names whatever the count
    EXPECT_EQ(b.param(1), "Yo        ");
    EXPECT_EQ(b.param(3), "k1        ");
    EXPECT_EQ(b.param(22), "k20       ");

    b.at(26, 5, 0.0f);
    EXPECT_EQ(b.param(3), "E (1 OR 2)");
    b.at(32, 4, 0.0f);
    EXPECT_EQ(b.param(1), "d (l.y.)  ");
    EXPECT_EQ(b.param(2), "plus/minus");
    b.at(8, 1, 0.0f);
    EXPECT_EQ(b.param(1), "Unused    ");
}

TEST(CatalogueNames, ComplimentaryVariants) {
    ModelBench b;
    b.A(6) = 1.0;
    b.at(16, 6, 0.0f);
    EXPECT_EQ(b.name(), "Complimentary Error Function");
    b.A(6) = 0.6; // rounds to 1
    b.at(17, 6, 0.0f);
    EXPECT_EQ(b.name(), "Complimentary Cylinder Function");
    b.A(6) = 2.0;
    b.at(3, 8, 0.0f);
    EXPECT_EQ(b.name(), "Error Function with top slope");
    b.A(6) = 1.0;
    b.at(3, 8, 0.0f);
    EXPECT_EQ(b.name(), "Complimentary Error Function with top slope");
    // Function 30 reads slot 10, even when its count is lower.
    b.params({});
    b.A(10) = 1.0;
    b.at(30, 2, 0.0f);
    EXPECT_EQ(b.name(), "Complimentary Error function + Gaussian");
}

TEST(CatalogueNames, GridShadowOrderVariants) {
    ModelBench b;
    b.A(7) = 2.0;
    b.at(4, 7, 0.0f);
    EXPECT_EQ(b.name(), "Xs=d*sqrt((Ys-Yoff)/C20*ntan(Ga))+(Ys-Yoff)/ntan(G");
    EXPECT_EQ(b.param(3), "C20       ");
    b.A(7) = 4.6;
    b.at(4, 7, 0.0f);
    EXPECT_EQ(b.name(), "Xs=d*fifthrt((Ys-Yoff)/C50*ntan(Ga))+(Ys-Yoff)/nta");
    EXPECT_EQ(b.param(3), "C50       ");
    b.A(7) = 3.0;
    b.at(4, 7, 0.0f);
    EXPECT_EQ(b.name(), "Xs=d*cubrt((Ys-Yoff)/C30*ntan(Ga))+(Ys-Yoff)/ntan(");
    EXPECT_EQ(b.param(3), "C30       ");
    EXPECT_EQ(b.param(6), "Shad. dist");
}

TEST(CatalogueNames, PeakNamesOfTheGaussianSeries) {
    ModelBench b;
    b.at(18, 35, 0.0f); // 11 peaks
    EXPECT_EQ(b.name(), "Linear + Gaussian (up to 16)");
    EXPECT_EQ(b.param(3), " Height 1 ");
    EXPECT_EQ(b.param(4), " Centre 1 ");
    EXPECT_EQ(b.param(5), "   Fwhm 1 ");
    EXPECT_EQ(b.param(27), " Height 9 ");
    EXPECT_EQ(b.param(30), " Height 10");
    EXPECT_EQ(b.param(33), " Height 11");
    EXPECT_EQ(b.param(35), "   Fwhm 11");
    EXPECT_EQ(b.param(36), "          "); // peak 12 does not exist
    b.at(18, 60, 0.0f);
    EXPECT_EQ(b.param(48), " Height 16");
    EXPECT_EQ(b.param(50), "   Fwhm 16");
}

TEST(CatalogueNames, PeakNamesOfTheBreitWignerSeries) {
    ModelBench b;
    b.at(21, 8, 0.0f); // two peaks
    EXPECT_EQ(b.param(1), "YO        ");
    EXPECT_EQ(b.param(3), "Height H1 ");
    EXPECT_EQ(b.param(4), " Posn. E1 ");
    EXPECT_EQ(b.param(8), " Width W2 ");
    EXPECT_EQ(b.param(9), "Blank     ");
    b.at(21, 50, 0.0f);
    EXPECT_EQ(b.param(48), "Height H16");
}

TEST(CatalogueNames, ConditionalNames) {
    // Function 7: X0, Y0 from one parameter on, and a pair per coefficient
    // pair the count reaches.
    ModelBench b;
    b.at(7, 0, 0.0f);
    EXPECT_EQ(b.param(1), "Blank     ");
    b.at(7, 3, 0.0f);
    EXPECT_EQ(b.param(1), "X0        ");
    EXPECT_EQ(b.param(2), "Y0        ");
    EXPECT_EQ(b.param(3), "a0        ");
    EXPECT_EQ(b.param(4), "b0        ");
    EXPECT_EQ(b.param(5), "a1        ");
    EXPECT_EQ(b.param(6), "b1        ");
    EXPECT_EQ(b.param(7), "Blank     ");
    b.at(7, 50, 0.0f);
    EXPECT_EQ(b.param(21), "a9        ");
    EXPECT_EQ(b.param(22), "b9        ");
    EXPECT_EQ(b.param(23), "          ");

    // Functions 34 and 35 name nothing with no parameters.
    ModelBench c;
    c.at(34, 0, 0.0f);
    EXPECT_EQ(c.param(1), "Blank     ");
    EXPECT_EQ(c.name(), "I = Is[exp(A*(X+X0)) - 1] - Il");
    c.at(35, 1, 0.0f);
    EXPECT_EQ(c.param(4), "D         ");

    // Function 30 names slots 7 to 10 from three parameters on.
    ModelBench d;
    d.at(30, 2, 0.0f);
    EXPECT_EQ(d.param(6), "Comm. FWHM");
    EXPECT_EQ(d.param(7), "Blank     ");
    d.at(30, 3, 0.0f);
    EXPECT_EQ(d.param(7), "E.F. Heigh");
    EXPECT_EQ(d.param(10), "0 EF,1 CEF");
}

TEST(CatalogueNames, SwitchingFunctionsKeepsOlderNamesInHigherSlots) {
    ModelBench b;
    b.at(18, 11, 0.0f);
    b.at(14, 11, 0.0f);
    EXPECT_EQ(b.name(), "Y = Yo + k1*TANH(k2*X)");
    EXPECT_EQ(b.param(1), "Yo        ");
    EXPECT_EQ(b.param(3), "k2        ");
    EXPECT_EQ(b.param(4), " Centre 1 ");
    EXPECT_EQ(b.param(9), " Height 3 ");
    EXPECT_EQ(b.param(11), "   Fwhm 3 ");
}

// Names are written when read, not at each evaluation; what a reader sees
// must be exactly what writing at every evaluation would have left.
TEST(CatalogueNames, DeferredNamesMatchWritingAtEveryEvaluation) {
    std::mt19937 rng(12345);
    std::uniform_int_distribution<int> fun(0, 52), count(-2, 60), opt(0, 6);
    ModelBench b;
    FixedText<50> eager_name;
    std::array<FixedText<10>, kMaxParams> eager_params{};
    for (int i = 0; i < 10; ++i) eager_params[static_cast<std::size_t>(i)] = "Blank";
    for (int step = 0; step < 3000; ++step) {
        int f = fun(rng);
        int n = count(rng);
        b.params({});
        b.A(6) = opt(rng);
        b.A(7) = opt(rng);
        b.A(10) = opt(rng);
        b.at(f, n, 0.25f);
        // The same evaluation written out at once.
        NameKey key{f, b.fit.nparams, 0};
        if (f == 3 || f == 16 || f == 17) key.variant = round_nearest(b.A(6)) == 1;
        if (f == 30) key.variant = round_nearest(b.A(10)) == 1;
        if (f == 4) key.variant = (b.A(7) == 2 || b.A(7) == 5) ? static_cast<int>(b.A(7)) : 0;
        write_names(eager_name, eager_params, key);
        if (step % 7 == 0) {
            ASSERT_EQ(b.fit.function_name().view(), eager_name.view()) << step;
            for (int i = 0; i < kMaxParams; ++i)
                ASSERT_EQ(b.fit.param_name(i).view(), eager_params[static_cast<std::size_t>(i)].view())
                    << "step " << step << " slot " << i + 1;
        }
        if (step % 11 == 0) {
            // A direct write lands on top of the evaluations before it.
            b.fit.set_param_name(step % kMaxParams, "direct");
            eager_params[static_cast<std::size_t>(step % kMaxParams)] = "direct";
        }
    }
}

TEST(CatalogueNames, SelectFunctionRefreshesNames) {
    ModelBench b;
    b.fit.nparams = 8;
    select_function(b.m, 21);
    EXPECT_EQ(b.fit.function, 21);
    EXPECT_EQ(b.name(), "B.W. Y=YO+Y1*X+H1*(W1/2)**2/((X-E1)**2+(W1/2)**2)");
    EXPECT_EQ(b.param(6), "Height H2 ");
}

} // namespace
} // namespace tarva
