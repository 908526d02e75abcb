// PEAKS: the search over a 1024-point spectrum of 16 peaks (the width
// estimated from the spectrum, and given), and the whole PEAKS/S + FIT/C
// from the search to the optimum, as the commands run them.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <random>
#include <sstream>
#include <vector>

#include "analysis/peak_search.h"
#include "commands/commands.h"
#include "session/session.h"

namespace tarva {
namespace {

// 1024 channels: a sloping background and 16 Gaussians of FWHM 8 channels
// spread evenly, heights 500 to 2000, Poisson counts from a fixed seed.
struct Spectrum {
    std::vector<float> x, y, sigma;
    Spectrum() {
        std::mt19937 rng(16);
        for (int i = 1; i <= 1024; ++i) {
            double m = 50.0 + 0.01 * i;
            for (int k = 0; k < 16; ++k) {
                const double u = (i - (k + 0.5) * 64.0) / 8.0;
                m += (500.0 + 375.0 * (k * 7 % 5)) * std::exp(-2.772588722239781 * u * u);
            }
            std::poisson_distribution<int> counts(m);
            const auto c = static_cast<float>(counts(rng));
            x.push_back(static_cast<float>(i));
            y.push_back(c);
            sigma.push_back(std::sqrt(std::max(c, 1.0f)));
        }
    }
};

void search(benchmark::State& state, double fwhm) {
    const Spectrum s;
    PeakSearchOptions options;
    options.fwhm_points = fwhm;
    std::size_t found = 0;
    for (auto _ : state) {
        const PeakSearchResult r = find_peaks(s.x, s.y, s.sigma, 0, 1023, options);
        found = r.peaks.size();
        benchmark::DoNotOptimize(found);
    }
    state.counters["peaks"] = static_cast<double>(found);
}

void BM_PeakSearch1024(benchmark::State& st) { search(st, 0.0); }
void BM_PeakSearch1024GivenWidth(benchmark::State& st) { search(st, 8.0); }

// PEAKS/S then FIT/C on the spectrum, from the data to the optimum.
void BM_SeedAndConvergingFit16(benchmark::State& state) {
    const Spectrum spectrum;
    std::istringstream in;
    std::ostringstream out;
    auto s = std::make_unique<Session>(in, out);
    for (std::size_t i = 0; i < spectrum.x.size(); ++i) {
        s->data.X[i] = spectrum.x[i];
        s->data.Y[i] = spectrum.y[i];
        s->data.SIGMA[i] = spectrum.sigma[i];
    }
    s->data.count = static_cast<int>(spectrum.x.size());
    int parameters = 0;
    for (auto _ : state) {
        out.str("");
        CommandContext peaks;
        peaks.line = "PEAKS";
        peaks.qualifier = 'S';
        cmd_peaks(*s, peaks);
        CommandContext fit;
        fit.line = "FIT";
        fit.qualifier = 'C';
        cmd_fit(*s, fit);
        parameters = s->fit.nparams;
    }
    state.counters["parameters"] = parameters;
    const bool converged = out.str().find("Converged") != std::string::npos;
    if (!converged) state.SkipWithError("FIT/C did not converge");
}

BENCHMARK(BM_PeakSearch1024)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PeakSearch1024GivenWidth)->Unit(benchmark::kMicrosecond);
// Process CPU time: FIT/C may share its passes with the helper thread.
BENCHMARK(BM_SeedAndConvergingFit16)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

} // namespace
} // namespace tarva
