// DRAW of a full spectrum: 1024 points with error bars and a fitted curve
// of 250 steps, written as a new file per picture: PostScript (DRAW/Q), and
// PDF and PNG through cairo (DRAW/X), each file rendered whole and renamed
// into place.
#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <sstream>

#include "commands/commands.h"
#include "plot/device.h"
#include "session/session.h"

namespace {

void fill_spectrum(tarva::Session& s) {
    s.data.count = tarva::kMaxPoints;
    for (int i = 0; i < tarva::kMaxPoints; ++i) {
        const auto k = static_cast<std::size_t>(i);
        const float x = static_cast<float>(i);
        const float peak = 400.0f * std::exp(-0.5f * std::pow((x - 300.0f) / 12.0f, 2.0f)) +
                           250.0f * std::exp(-0.5f * std::pow((x - 700.0f) / 20.0f, 2.0f));
        s.data.X[k] = x;
        s.data.Y[k] = 20.0f + peak;
        s.data.SIGMA[k] = std::sqrt(20.0f + peak);
    }
    // Line plus two Gaussians (function 18): intercept, gradient, then
    // height, centre and FWHM per peak.
    s.fit.function = 18;
    s.fit.nparams = 8;
    const double p[] = {20.0, 0.0, 400.0, 300.0, 28.3, 250.0, 700.0, 47.1};
    for (int i = 0; i < 8; ++i) s.fit.value[static_cast<std::size_t>(i)] = p[i];
}

// Draws the spectrum on `device` once per iteration; `file` names device
// X's file (its extension the format).
void draw_spectrum(benchmark::State& state, char device, const char* file) {
    const auto dir = std::filesystem::temp_directory_path() / "tarva_draw_bench";
    std::filesystem::create_directories(dir);
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    {
        std::istringstream in;
        std::ostringstream out;
        tarva::Session s(in, out);
        fill_spectrum(s);
        if (file) tarva::define_device_name(s, 'X', file);
        tarva::CommandContext ctx;
        for (auto _ : state) {
            ctx.line = "DRAW";
            ctx.qualifier = device;
            ctx.number = 0.0;
            tarva::cmd_draw(s, ctx);
            out.str("");
        }
        tarva::CommandContext close;
        tarva::cmd_close(s, close);
    }
    std::filesystem::current_path(previous);
    std::filesystem::remove_all(dir);
}

void BM_DrawSpectrumPostScript(benchmark::State& state) { draw_spectrum(state, 'Q', nullptr); }
void BM_DrawSpectrumPdf(benchmark::State& state) { draw_spectrum(state, 'X', "spectrum.pdf"); }
void BM_DrawSpectrumPng(benchmark::State& state) { draw_spectrum(state, 'X', "spectrum.png"); }
BENCHMARK(BM_DrawSpectrumPostScript)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawSpectrumPdf)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawSpectrumPng)->Unit(benchmark::kMillisecond);

} // namespace
