// Certified reference problems (NIST StRD nonlinear and polynomial
// regression), fitted through the real commands from NIST's start values:
// MAKE/2 of the X Y table, FUNCT, NPAR, PARAM, MASK, FIT (or FIT/C). The worst
// parameter's log relative error against the exact optimum of the data as
// single-precision values must reach the level this engine is known to reach,
// for FIT and for FIT/C; FIT/C's errors must agree with the certified
// standard deviations where single-precision data allow it.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "commands/fit/session_model.h"
#include "fitting/converging_fit.h"
#include "interpreter/interpreter.h"
#include "session/session.h"
#include "temp_dir.h"

namespace tarva {
namespace {

std::string nist_dir() { return std::string(TARVA_SOURCE_DIR) + "/tests/data/nist/"; }

std::vector<std::string> split(const std::string& s, char sep) {
    std::vector<std::string> out;
    std::string cur;
    std::istringstream in(s);
    while (std::getline(in, cur, sep)) out.push_back(cur);
    return out;
}

std::vector<double> numbers(const std::string& s) {
    std::vector<double> v;
    for (const auto& t : split(s, ',')) v.push_back(std::strtod(t.c_str(), nullptr));
    return v;
}

struct Case {
    std::string name;
    int function = 0, npar = 0;
    std::vector<double> masks, start1, start2, optimum;
    std::string start1_text, start2_text, optimum_text;
};

std::map<std::string, Case> read_cases() {
    std::map<std::string, Case> cases;
    std::ifstream f(nist_dir() + "cases.tsv");
    std::string line;
    std::getline(f, line); // heading
    while (std::getline(f, line)) {
        auto c = split(line, '\t');
        if (c.size() < 12) continue;
        Case k;
        k.name = c[0];
        k.function = std::atoi(c[1].c_str());
        k.npar = std::atoi(c[2].c_str());
        k.masks = numbers(c[3]);
        k.start1_text = c[4];
        k.start2_text = c[5];
        k.optimum = numbers(c[10]);
        k.optimum_text = c[10];
        cases[k.name] = k;
    }
    return cases;
}

// The data section of a NIST file: y x pairs after the "Data:  y  x" line.
std::vector<std::pair<double, double>> read_points(const std::string& name) {
    std::ifstream f(nist_dir() + name + ".dat");
    std::string line;
    bool in_data = false;
    std::vector<std::pair<double, double>> pts;
    while (std::getline(f, line)) {
        if (!in_data) {
            if (line.rfind("Data:", 0) == 0 && line.find('y') != std::string::npos &&
                line.find('x') != std::string::npos && line.find("Response") == std::string::npos &&
                line.find("Predictor") == std::string::npos)
                in_data = true;
            continue;
        }
        std::istringstream in(line);
        double y, x;
        if (in >> y >> x) pts.push_back({x, y});
    }
    return pts;
}

// What a fit left: the parameters, FIT/C's errors, the covariance of the
// estimates there (by slot, unit weights) and the residual sum of squares.
struct Outcome {
    std::vector<double> values, errors;
    Covariance cov;
    double rss = 0.0;
    int points = 0;
    std::string transcript;
};

// Runs the whole dialogue in a fresh program state inside a scratch
// directory.
Outcome fit_case(const Case& c, const std::string& start_text, const std::string& fit_command) {
    testing_support::TempDir dir;
    Outcome r;
    {
        std::ofstream xy("points.xy");
        xy.precision(17);
        for (auto [x, y] : read_points(c.name)) xy << x << ' ' << y << '\n';
    }
    std::ostringstream script;
    script << "MAKE/2 points.xy\n";
    script << "FUNCT " << c.function << "\n";
    script << "NPAR " << c.npar << "\n";
    script << "PARAM\n";
    for (const auto& v : split(start_text, ',')) script << v << "\n";
    script << "MASK\n";
    for (double m : c.masks) script << static_cast<int>(m) << "\n";
    script << fit_command << "\n";
    std::istringstream in(script.str());
    std::ostringstream out;
    {
        auto s = std::make_unique<Session>(in, out);
        run_loop(*s);
        for (int k = 0; k < c.npar; ++k) {
            r.values.push_back(s->fit.value[k]);
            r.errors.push_back(s->fit.error[k]);
        }
        SessionModel model(*s);
        const EngineInputs inputs = model.engine_inputs();
        r.cov = estimate_covariance(s->engine(), inputs);
        for (int i = 0; i < inputs.npoints; ++i) {
            const double d = inputs.model(inputs.params, inputs.x[i]) - static_cast<double>(inputs.y[i]);
            r.rss += d * d;
        }
        r.points = inputs.npoints;
    }
    r.transcript = out.str();
    return r;
}

// Log relative error of the worst varied parameter (15 when exact).
double worst_lre(const Case& c, const std::vector<double>& fit) {
    double worst = 15.0;
    for (int k = 0; k < c.npar; ++k) {
        if (c.masks[k] == 0.0) continue;
        const double ref = c.optimum[k];
        const double rel = std::fabs(fit[k] - ref) / std::fabs(ref);
        double lre = rel == 0.0 ? 15.0 : -std::log10(rel);
        if (!std::isfinite(lre)) lre = 0.0;
        worst = std::min(worst, std::min(lre, 15.0));
    }
    return worst;
}

struct Expectation {
    const char* name;
    int start;  // 1 or 2, 0: the single-precision optimum
    double lre; // the level this engine reaches (a regression falls below)
};

// Fits the case from its start (1, 2, or 0 for the optimum itself) with
// the command and checks the level.
void expect_level(const Expectation& e, const std::string& command) {
    static const auto cases = read_cases();
    auto it = cases.find(e.name);
    ASSERT_NE(it, cases.end()) << e.name;
    const Case& c = it->second;
    const std::string& start = e.start == 1 ? c.start1_text : e.start == 2 ? c.start2_text : c.optimum_text;
    ASSERT_NE(start, "-");
    const Outcome r = fit_case(c, start, command);
    ASSERT_EQ(static_cast<int>(r.values.size()), c.npar) << r.transcript;
    ASSERT_NE(r.transcript.find(" No. parameters active = "), std::string::npos) << r.transcript;
    const double lre = worst_lre(c, r.values);
    std::printf("NIST %-9s start %d  %-5s worst LRE %.1f\n", e.name, e.start, command.c_str(), lre);
    EXPECT_GE(lre, e.lre) << r.transcript;
}

class NistFit : public ::testing::TestWithParam<Expectation> {};

TEST_P(NistFit, ReachesItsLevelAgainstTheSinglePrecisionOptimum) { expect_level(GetParam(), "FIT"); }

// FIT/C runs to the optimum.
class NistConvergingFit : public ::testing::TestWithParam<Expectation> {};

TEST_P(NistConvergingFit, ReachesItsLevelAgainstTheSinglePrecisionOptimum) { expect_level(GetParam(), "FIT/C"); }

std::string case_name(const ::testing::TestParamInfo<Expectation>& info) {
    return std::string(info.param.name) +
           (info.param.start == 0 ? std::string("_optimum") : "_start" + std::to_string(info.param.start));
}

// Levels reached (worst LRE less 0.3 as a margin for harmless rounding
// changes). The engine stops once the reduced chi-square changes by less
// than 1 % with a small damping factor, or falls below 0.01, which with unit
// weights on small data values ends several of these fits early.
INSTANTIATE_TEST_SUITE_P(Certified, NistFit,
                         ::testing::Values(Expectation{"Misra1a", 1, 4.6}, Expectation{"Misra1a", 2, 3.1},
                                           Expectation{"BoxBOD", 1, -2.6}, Expectation{"BoxBOD", 2, 2.3},
                                           Expectation{"Lanczos1", 1, -0.8}, Expectation{"Lanczos1", 2, -0.3},
                                           Expectation{"Lanczos2", 1, -0.8}, Expectation{"Lanczos2", 2, -0.3},
                                           Expectation{"Lanczos3", 1, -0.9}, Expectation{"Lanczos3", 2, -0.3},
                                           Expectation{"MGH17", 1, -8.7}, Expectation{"MGH17", 2, 0.2},
                                           Expectation{"Eckerle4", 1, -2.4}, Expectation{"Eckerle4", 2, 0.8},
                                           Expectation{"Norris", 1, 1.9}, Expectation{"Pontius", 1, -2.1},
                                           Expectation{"Filip", 1, -0.3}, Expectation{"Wampler1", 1, 1.0},
                                           Expectation{"Wampler2", 1, 0.3}, Expectation{"Wampler3", 1, -3.2},
                                           Expectation{"Wampler4", 1, -4.8}, Expectation{"Wampler5", 1, -4.8}),
                         case_name);

// FIT/C reaches a worst LRE of 6 on every run, MGH17 from its first start
// too: there the exponentials' rates of 1 and 2 leave both terms dead at
// every x but 0 (fityk and gnuplot end at that degenerate point), and the
// fit must neither send a rate off to where the model no longer depends on
// it nor take its derivatives over a step scaled to that flat start.
// Wampler4 and Wampler5 started at the optimum itself keep it.
INSTANTIATE_TEST_SUITE_P(
    Certified, NistConvergingFit,
    ::testing::Values(Expectation{"Misra1a", 1, 6.0}, Expectation{"Misra1a", 2, 6.0}, Expectation{"BoxBOD", 1, 6.0},
                      Expectation{"BoxBOD", 2, 6.0}, Expectation{"Lanczos1", 1, 6.0}, Expectation{"Lanczos1", 2, 6.0},
                      Expectation{"Lanczos2", 1, 6.0}, Expectation{"Lanczos2", 2, 6.0}, Expectation{"Lanczos3", 1, 6.0},
                      Expectation{"Lanczos3", 2, 6.0}, Expectation{"MGH17", 1, 6.0}, Expectation{"MGH17", 2, 6.0},
                      Expectation{"Eckerle4", 1, 6.0}, Expectation{"Eckerle4", 2, 6.0}, Expectation{"Norris", 1, 6.0},
                      Expectation{"Pontius", 1, 6.0}, Expectation{"Filip", 1, 6.0}, Expectation{"Wampler1", 1, 6.0},
                      Expectation{"Wampler2", 1, 6.0}, Expectation{"Wampler3", 1, 6.0}, Expectation{"Wampler4", 1, 6.0},
                      Expectation{"Wampler5", 1, 6.0}, Expectation{"Wampler4", 0, 8.0},
                      Expectation{"Wampler5", 0, 8.0}),
    case_name);

// The certified standard deviations of the estimates, in NIST's parameter
// order: the last number of each parameter line of the certificate.
std::vector<double> certified_deviations(const std::string& name) {
    std::ifstream f(nist_dir() + name + ".dat");
    std::vector<double> sd;
    for (std::string line; std::getline(f, line);) {
        std::istringstream in(line);
        std::string word;
        if (!(in >> word) || word.size() < 2 || (word[0] != 'b' && word[0] != 'B') ||
            word.find_first_not_of("0123456789", 1) != std::string::npos)
            continue;
        std::vector<double> v;
        for (std::string t; in >> t;)
            if (t != "=") v.push_back(std::strtod(t.c_str(), nullptr));
        if (v.size() >= 2) sd.push_back(v.back());
    }
    return sd;
}

// The slot values mapped to NIST's parameters (the to_nist column).
std::vector<double> to_nist(const std::string& name, const std::vector<double>& p) {
    if (name == "Misra1a" || name == "BoxBOD") return {-p[1], -p[2]};
    if (name == "MGH17") return {p[0], p[1], p[4], p[2], p[5]};
    if (name == "Eckerle4") {
        const double b2 = p[4] / std::sqrt(2.0 * static_cast<double>(2.7725887f));
        return {p[2] * b2, b2, p[3]};
    }
    // The polynomials: B0 = P1, Bk = P(k+2).
    std::vector<double> b{p[0]};
    for (std::size_t k = 2; k < p.size(); ++k) b.push_back(p[k]);
    return b;
}

// FIT/C's covariance, scaled by the residual variance as NIST certifies
// it and carried through the mapping to NIST's parameters, against the
// certified standard deviations. Only the problems whose single-precision
// data leave the deviations within LRE 4 of the certified ones are
// checked (computed from the exact single-precision optimum: Misra1a 5.6,
// BoxBOD 10.1, MGH17 5.9, Eckerle4 7.3, Norris 5.4, Pontius 5.2, Filip 6.8,
// Wampler3 and Wampler4 13.2, Wampler5 8.7; the Lanczos sets reach only
// -5.2 to 3.7, and Wampler1 and Wampler2 are certified with deviations of 0).
class NistErrors : public ::testing::TestWithParam<const char*> {};

TEST_P(NistErrors, AgreeWithTheCertifiedDeviations) {
    static const auto cases = read_cases();
    const Case& c = cases.at(GetParam());
    // From NIST's second start where there is one (MGH17 converges only
    // from that).
    const Outcome r = fit_case(c, c.start2_text != "-" ? c.start2_text : c.start1_text, "FIT/C");
    int varied = 0;
    for (double m : c.masks) varied += m != 0.0 ? 1 : 0;
    const double scale = r.rss / (r.points - varied);
    const std::vector<double> b = to_nist(c.name, r.values), sd = certified_deviations(c.name);
    ASSERT_EQ(b.size(), sd.size());
    for (std::size_t j = 0; j < b.size(); ++j) {
        // Var(b_j) = grad' C grad, the gradient of the mapping by central
        // differences.
        std::vector<double> grad(c.npar, 0.0);
        for (int k = 0; k < c.npar; ++k) {
            if (c.masks[k] == 0.0) continue;
            std::vector<double> up = r.values, down = r.values;
            const double h = 1e-6 * std::fabs(r.values[k]);
            up[k] += h;
            down[k] -= h;
            grad[k] = (to_nist(c.name, up)[j] - to_nist(c.name, down)[j]) / (2.0 * h);
        }
        double var = 0.0;
        for (int k = 0; k < c.npar; ++k)
            for (int l = 0; l < c.npar; ++l) var += grad[k] * r.cov.c[k][l] * grad[l];
        const double deviation = std::sqrt(var * scale);
        const double lre = -std::log10(std::fabs(deviation - sd[j]) / sd[j]);
        std::printf("NIST %-9s b%zu deviation LRE %.1f\n", c.name.c_str(), j + 1, lre);
        EXPECT_GE(lre, 4.0) << "b" << j + 1 << ": " << deviation << " against " << sd[j] << "\n" << r.transcript;
    }
    EXPECT_EQ(r.transcript.find("not determined"), std::string::npos) << r.transcript;
}

INSTANTIATE_TEST_SUITE_P(Certified, NistErrors,
                         ::testing::Values("Misra1a", "BoxBOD", "MGH17", "Eckerle4", "Norris", "Pontius", "Filip",
                                           "Wampler3", "Wampler4", "Wampler5"),
                         [](const ::testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

// Wampler1 to Wampler5 share their X values, so FIT/C's errors (not scaled
// by the residuals) must be the same for all five.
TEST(NistErrors, WamplerErrorsDependOnlyOnTheAbscissae) {
    static const auto cases = read_cases();
    const Outcome first = fit_case(cases.at("Wampler1"), cases.at("Wampler1").start1_text, "FIT/C");
    for (const char* name : {"Wampler2", "Wampler3", "Wampler4", "Wampler5"}) {
        const Outcome r = fit_case(cases.at(name), cases.at(name).start1_text, "FIT/C");
        for (int k = 0; k < 7; ++k) {
            if (k == 1) continue; // the fixed shift
            ASSERT_GT(first.errors[k], 0.0) << k;
            EXPECT_NEAR(r.errors[k], first.errors[k], 1e-6 * first.errors[k]) << name << " parameter " << k + 1;
        }
    }
}

} // namespace
} // namespace tarva
