// The fit's hot path on the two benchmark spectra (line plus Gaussians):
// one iteration of the minimiser (normal equations, inversion, step and the
// chi-square after it), with and without the fast kernel and the helper
// thread, and whole FIT and FIT/C commands from the start values.
#include <benchmark/benchmark.h>

#include <fstream>
#include <memory>
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
void iteration(benchmark::State& state, const char* name, bool fast, bool parallel) {
    Bench b(name);
    set_helper_use(parallel ? HelperUse::always : HelperUse::never);
    SessionModel model(*b.s);
    EngineInputs in = model.engine_inputs();
    if (!fast) in.model.kernel = nullptr;
    EngineState& e = b.s->engine;
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

void BM_IterationP1(benchmark::State& st) { iteration(st, "p1", true, true); }
void BM_IterationP1OneThread(benchmark::State& st) { iteration(st, "p1", true, false); }
void BM_IterationP1Plain(benchmark::State& st) { iteration(st, "p1", false, false); }
void BM_IterationP2(benchmark::State& st) { iteration(st, "p2", true, true); }
void BM_IterationP2OneThread(benchmark::State& st) { iteration(st, "p2", true, false); }
void BM_IterationP2Plain(benchmark::State& st) { iteration(st, "p2", false, false); }

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
BENCHMARK(BM_WholeFitP2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WholeConvergingFitP1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WholeConvergingFitP2)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace tarva
