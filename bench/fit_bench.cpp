// The fit's hot path on the two benchmark spectra (line plus Gaussians):
// one iteration of the minimiser (normal equations, inversion, step and the
// chi-square after it), with and without the fast kernel and the helper
// thread, and whole FIT and FIT/C commands from the start values.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "commands/commands.h"
#include "commands/fit/session_model.h"
#include "fitting/engine.h"
#include "fitting/parallel.h"
#include "session/session.h"

namespace tarva {
namespace {

struct Bench {
    std::istringstream in;
    std::ostringstream out;
    std::unique_ptr<Session> s;
    std::vector<double> start;

    explicit Bench(const std::string& name) : s(std::make_unique<Session>(in, out)) {
        const std::string dir = std::string(TARVA_SOURCE_DIR) + "/bench/data/";
        std::ifstream d(dir + name + ".dat");
        float x, y, sg;
        int n = 0;
        while (n < kMaxPoints && d >> x >> y >> sg) {
            s->data.X[n] = x;
            s->data.Y[n] = y;
            s->data.SIGMA[n] = sg;
            ++n;
        }
        s->data.count = n;
        std::ifstream st(dir + name + "_start.txt");
        std::string label;
        double v;
        while (st >> label >> v) start.push_back(v);
        s->fit.function = 18;
        s->fit.nparams = static_cast<int>(start.size());
        reset();
    }
    // A synthetic spectrum of `points` channels (x = 1, 2, ...): a line and
    // `peaks` Gaussians of FWHM 8 channels spread evenly, like P1's, with
    // Gaussian noise of the counting statistics from a fixed seed; the start
    // values are 3 % off in height, half a channel in centre, 10 % in width.
    Bench(int points, int peaks) : s(std::make_unique<Session>(in, out)) {
        std::vector<double> truth = {50.0, 0.01};
        for (int k = 0; k < peaks; ++k) {
            truth.push_back(500.0 + 375.0 * (k * 7 % 5));
            truth.push_back((k + 0.5) * points / peaks);
            truth.push_back(8.0);
        }
        std::mt19937 rng(static_cast<unsigned>(points * 100 + peaks));
        std::normal_distribution<double> noise(0.0, 1.0);
        for (int i = 0; i < points; ++i) {
            const double x = i + 1;
            double m = truth[0] + truth[1] * x;
            for (int k = 0; k < peaks; ++k) {
                const double u = (x - truth[3 + 3 * k]) / truth[4 + 3 * k];
                m += truth[2 + 3 * k] * std::exp(-2.7725887 * u * u);
            }
            const double y = m + std::sqrt(m) * noise(rng);
            s->data.X[i] = static_cast<float>(x);
            s->data.Y[i] = static_cast<float>(y);
            s->data.SIGMA[i] = static_cast<float>(std::sqrt(std::max(y, 1.0)));
        }
        s->data.count = points;
        start = truth;
        for (int k = 0; k < peaks; ++k) {
            start[2 + 3 * k] *= 1.03;
            start[3 + 3 * k] += 0.5;
            start[4 + 3 * k] *= 1.1;
        }
        s->fit.function = 18;
        s->fit.nparams = static_cast<int>(start.size());
        reset();
    }
    void reset() {
        for (std::size_t k = 0; k < start.size(); ++k) {
            s->fit.value[k] = start[k];
            s->fit.mask[k] = 1;
        }
    }
};

// The chi-square after a step, as the timed part of an iteration (a
// function of its own, so that callgrind can count it alone).
[[gnu::noinline]] double timed_chi_square(EngineState& e, OutputSink& out, ModelRef model) {
    return working_chi_square(e, out, model);
}

// One iteration as the minimiser does it: step, then the chi-square. As in a
// fit of P1, seven iterations follow one another from the start values (the
// normal equations find the terms of the chi-square pass before them); the
// return to the start values and its chi-square are not timed.
void iteration(benchmark::State& state, Bench& b, bool fast, bool parallel) {
    set_helper_use(parallel ? HelperUse::always : HelperUse::never);
    SessionModel model(*b.s);
    EngineInputs in = model.engine_inputs();
    if (!fast) in.model.kernel = nullptr;
    EngineState& e = b.s->engine();
    std::array<double, 50> errors{};
    int done = 0;
    for (auto _ : state) {
        if (done++ % 7 == 0) {
            state.PauseTiming();
            load_working_copy(e, in);
            share_with_helper(e, in.model);
            benchmark::DoNotOptimize(working_chi_square(e, b.s->out(), in.model));
            state.ResumeTiming();
        }
        e.lambda = 0.01;
        bool ok = iteration_step(e, b.s->out(), in.model, errors);
        double chi = timed_chi_square(e, b.s->out(), in.model);
        benchmark::DoNotOptimize(ok);
        benchmark::DoNotOptimize(chi);
    }
    set_helper_use(HelperUse::when_it_pays);
}

void iteration(benchmark::State& state, const char* name, bool fast, bool parallel) {
    Bench b(name);
    iteration(state, b, fast, parallel);
}

void BM_IterationP1(benchmark::State& st) { iteration(st, "p1", true, true); }
void BM_IterationP1OneThread(benchmark::State& st) { iteration(st, "p1", true, false); }
void BM_IterationP1Plain(benchmark::State& st) { iteration(st, "p1", false, false); }
void BM_IterationP2(benchmark::State& st) { iteration(st, "p2", true, true); }
void BM_IterationP2OneThread(benchmark::State& st) { iteration(st, "p2", true, false); }
void BM_IterationP2Plain(benchmark::State& st) { iteration(st, "p2", false, false); }

// One-thread iterations on synthetic spectra: points (256, 512, 1024)
// against peaks (4, 8, 16, that is 14, 26 and 50 parameters).
void BM_IterationScaling(benchmark::State& st) {
    Bench b(static_cast<int>(st.range(0)), static_cast<int>(st.range(1)));
    iteration(st, b, true, false);
}

void whole_fit(benchmark::State& state, const char* name, char qualifier = ' ') {
    Bench b(name);
    CommandContext ctx;
    ctx.line = "FIT";
    ctx.qualifier = qualifier;
    for (auto _ : state) {
        b.reset();
        b.out.str("");
        cmd_fit(*b.s, ctx);
    }
}

void BM_WholeFitP1(benchmark::State& st) { whole_fit(st, "p1"); }
void BM_WholeFitP2(benchmark::State& st) { whole_fit(st, "p2"); }
// FIT/C, to the optimum.
void BM_WholeConvergingFitP1(benchmark::State& st) { whole_fit(st, "p1", 'C'); }
void BM_WholeConvergingFitP2(benchmark::State& st) { whole_fit(st, "p2", 'C'); }

BENCHMARK(BM_IterationP1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IterationP1OneThread)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IterationP1Plain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IterationP2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IterationP2OneThread)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IterationP2Plain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WholeFitP1)->Unit(benchmark::kMillisecond);
// A fixed count of one-thread iterations, for instruction counts under
// callgrind (`--toggle-collect='tarva::iteration_step*'` and
// `--toggle-collect='*timed_chi_square*'`, divided by 100).
BENCHMARK(BM_IterationP1OneThread)->Name("BM_IterationP1Count")->Iterations(100);
BENCHMARK(BM_IterationScaling)
    ->ArgsProduct({{256, 512, 1024}, {4, 8, 16}})
    ->ArgNames({"points", "peaks"})
    ->Unit(benchmark::kMicrosecond);
// The same with a fixed count, for instruction counts under callgrind
// (bench/scaling_profile.sh).
BENCHMARK(BM_IterationScaling)
    ->Name("BM_IterationScalingCount")
    ->ArgsProduct({{256, 512, 1024}, {4, 8, 16}})
    ->ArgNames({"points", "peaks"})
    ->Iterations(70);
BENCHMARK(BM_WholeFitP2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WholeConvergingFitP1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WholeConvergingFitP2)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace tarva
