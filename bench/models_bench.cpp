// Model evaluations per second: the fit's innermost call.
#include <benchmark/benchmark.h>

#include <array>

#include "models/evaluate.h"

namespace {

struct Model {
    tarva::FitState fit;
    tarva::DataSet data;
    tarva::ModelTables tables;
    tarva::ModelInputs m{fit, data, tables};
    std::array<double, tarva::kMaxParams> p{};
};

// Sweeps x over a spectrum-like range so every peak and branch is visited.
void run(benchmark::State& state, Model& model, float from, float step, bool read_names) {
    float x = from;
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(tarva::evaluate(model.m, model.p, x));
        if (read_names) benchmark::DoNotOptimize(model.fit.param_name(3)[0]);
        x += step;
        if (++i == 1024) {
            i = 0;
            x = from;
        }
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_Gaussians16(benchmark::State& state) {
    Model model;
    model.fit.function = 18;
    model.fit.nparams = 50;
    model.p[0] = 10.0;
    model.p[1] = 0.01;
    for (int k = 1; k <= 16; ++k) {
        model.p[static_cast<std::size_t>(3 * k - 1)] = 100.0 + k; // height
        model.p[static_cast<std::size_t>(3 * k)] = 60.0 * k;      // centre
        model.p[static_cast<std::size_t>(3 * k + 1)] = 8.0;       // FWHM
    }
    run(state, model, 0.0f, 1.0f, state.range(0) != 0);
}
BENCHMARK(BM_Gaussians16)->Arg(0)->Arg(1)->ArgName("names_read_each_call");

void BM_PolynomialDegree20(benchmark::State& state) {
    Model model;
    model.fit.function = 2;
    model.fit.nparams = 22;
    for (int i = 0; i < 22; ++i) model.p[static_cast<std::size_t>(i)] = 1.0 / (i + 1.0);
    model.p[1] = -0.5;
    run(state, model, 0.0f, 1.0f / 1024.0f, false);
}
BENCHMARK(BM_PolynomialDegree20);

void BM_ErrorFunction(benchmark::State& state) {
    Model model;
    model.fit.function = 16;
    model.fit.nparams = 6;
    model.p = {5.0, 0.01, 100.0, 40.0, 512.0, 0.0};
    run(state, model, 0.0f, 1.0f, false);
}
BENCHMARK(BM_ErrorFunction);

void BM_Bessel(benchmark::State& state) {
    Model model;
    model.fit.function = 26;
    model.fit.nparams = 5;
    model.p = {2.0, 1.0, 2.0, 0.02, 3.0};
    run(state, model, -1000.0f, 2.0f, false);
}
BENCHMARK(BM_Bessel);

} // namespace
