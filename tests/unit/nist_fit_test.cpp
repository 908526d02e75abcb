// Certified reference problems (NIST StRD nonlinear and polynomial
// regression), fitted through the real commands from NIST's start values:
// MAKE/2 of the X Y table, FUNCT, NPAR, PARAM, MASK, FIT (or FIT/C). The worst
// parameter's log relative error against the exact optimum of the data as
// single-precision values must reach the level this engine is known to reach,
// for FIT and for FIT/C.
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
    std::string start1_text, start2_text;
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

// Runs the whole dialogue in a fresh program state inside a scratch
// directory; returns the fitted parameters.
std::vector<double> fit_case(const Case& c, const std::string& start_text, const std::string& fit_command,
                             std::string& transcript) {
    testing_support::TempDir dir;
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
    std::vector<double> result;
    {
        auto s = std::make_unique<Session>(in, out);
        run_loop(*s);
        for (int k = 0; k < c.npar; ++k) result.push_back(s->fit.value[k]);
    }
    transcript = out.str();
    return result;
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
    int start;  // 1 or 2
    double lre; // the level this engine reaches (a regression falls below)
};

// Fits the case from its start with the command and checks the level.
void expect_level(const Expectation& e, const std::string& command) {
    static const auto cases = read_cases();
    auto it = cases.find(e.name);
    ASSERT_NE(it, cases.end()) << e.name;
    const Case& c = it->second;
    const std::string& start = e.start == 1 ? c.start1_text : c.start2_text;
    ASSERT_NE(start, "-");
    std::string transcript;
    const auto fit = fit_case(c, start, command, transcript);
    ASSERT_EQ(static_cast<int>(fit.size()), c.npar) << transcript;
    ASSERT_NE(transcript.find(" No. parameters active = "), std::string::npos) << transcript;
    const double lre = worst_lre(c, fit);
    std::printf("NIST %-9s start %d  %-5s worst LRE %.1f\n", e.name, e.start, command.c_str(), lre);
    EXPECT_GE(lre, e.lre) << transcript;
}

class NistFit : public ::testing::TestWithParam<Expectation> {};

TEST_P(NistFit, ReachesItsLevelAgainstTheSinglePrecisionOptimum) { expect_level(GetParam(), "FIT"); }

// FIT/C runs to the optimum.
class NistConvergingFit : public ::testing::TestWithParam<Expectation> {};

TEST_P(NistConvergingFit, ReachesItsLevelAgainstTheSinglePrecisionOptimum) { expect_level(GetParam(), "FIT/C"); }

std::string case_name(const ::testing::TestParamInfo<Expectation>& info) {
    return std::string(info.param.name) + "_start" + std::to_string(info.param.start);
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

// FIT/C reaches a worst LRE of 6 on all but Wampler4 and Wampler5 (large
// residuals on a badly conditioned polynomial: the rounding of the model
// values limits the final steps there).
INSTANTIATE_TEST_SUITE_P(Certified, NistConvergingFit,
                         ::testing::Values(Expectation{"Misra1a", 1, 11.4}, Expectation{"Misra1a", 2, 11.3},
                                           Expectation{"BoxBOD", 1, 10.8}, Expectation{"BoxBOD", 2, 10.7},
                                           Expectation{"Lanczos1", 1, 11.2}, Expectation{"Lanczos1", 2, 10.9},
                                           Expectation{"Lanczos2", 1, 9.9}, Expectation{"Lanczos2", 2, 8.8},
                                           Expectation{"Lanczos3", 1, 8.1}, Expectation{"Lanczos3", 2, 9.1},
                                           Expectation{"MGH17", 1, 10.3}, Expectation{"MGH17", 2, 9.2},
                                           Expectation{"Eckerle4", 1, 9.6}, Expectation{"Eckerle4", 2, 9.6},
                                           Expectation{"Norris", 1, 13.9}, Expectation{"Pontius", 1, 12.7},
                                           Expectation{"Filip", 1, 6.8}, Expectation{"Wampler1", 1, 10.5},
                                           Expectation{"Wampler2", 1, 12.7}, Expectation{"Wampler3", 1, 6.2},
                                           Expectation{"Wampler4", 1, 4.1}, Expectation{"Wampler5", 1, 2.6}),
                         case_name);

} // namespace
} // namespace tarva
