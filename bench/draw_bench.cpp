// DRAW of a full spectrum: 1024 points with error bars and a fitted curve
// of 250 steps, written as a new file per picture: PostScript (DRAW/Q), and
// PDF, PNG and SVG (DRAW/X), each file rendered whole and renamed into
// place when the pictures are flushed (as before the next prompt); and as
// sixel and kitty frames for the terminal. Device X and the terminals draw
// in their print style (the default).
#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <sstream>

#include "commands/commands.h"
#include "graphics/drivers/device_table.h"
#include "graphics/drivers/image_terminal.h"
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
            tarva::flush_pictures(s); // as before the next prompt: the file is written
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
void BM_DrawSpectrumSvg(benchmark::State& state) { draw_spectrum(state, 'X', "spectrum.svg"); }
BENCHMARK(BM_DrawSpectrumPostScript)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawSpectrumPdf)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawSpectrumPng)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawSpectrumSvg)->Unit(benchmark::kMillisecond);

} // namespace

namespace {

// DRAW/S of the spectrum on the sixel terminal, the picture written to
// /dev/null (not a terminal: the default size, no question).
void draw_sixel(tarva::Session& s) {
    tarva::CommandContext ctx;
    ctx.line = "DRAW";
    ctx.qualifier = 'S';
    tarva::cmd_draw(s, ctx);
    tarva::flush_pictures(s);
}

struct SixelSession {
    std::istringstream in;
    std::ostringstream out;
    tarva::Session s{in, out};
    SixelSession() {
        fill_spectrum(s);
        s.graphics.terminal_type = tarva::kSixelType;
        tarva::open_destination(s, "/dev/null");
    }
};

// The strokes of that picture.
tarva::StrokeList spectrum_strokes() {
    SixelSession t;
    draw_sixel(t.s);
    return t.s.graphics.drivers().sixel.strokes();
}

// One sixel frame of an 800 x 600 picture: cairo's drawing, the palette
// and libsixel's encoding.
void BM_SixelFrame800x600(benchmark::State& state) {
    const tarva::StrokeList strokes = spectrum_strokes();
    std::size_t bytes = 0;
    for (auto _ : state) {
        const auto rgb = tarva::render_rgb(strokes, 800, 600, tarva::kThinnestLine, tarva::kSixelSmoothing);
        bytes = tarva::encode_sixel(rgb, 800, 600).size();
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_SixelFrame800x600)->Unit(benchmark::kMillisecond);

// The same picture as a kitty frame: PNG, base64, chunks.
void BM_KittyFrame800x600(benchmark::State& state) {
    const tarva::StrokeList strokes = spectrum_strokes();
    std::size_t bytes = 0;
    for (auto _ : state) {
        bytes = tarva::encode_kitty(tarva::render_png(strokes, 800, 600, tarva::kThinnestLine, tarva::kKittySmoothing))
                    .size();
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_KittyFrame800x600)->Unit(benchmark::kMillisecond);

// The whole command: DRAW/S of the spectrum on the sixel terminal, to
// /dev/null.
void BM_DrawSpectrumSixel(benchmark::State& state) {
    SixelSession t;
    for (auto _ : state) {
        draw_sixel(t.s);
        t.out.str("");
    }
}
BENCHMARK(BM_DrawSpectrumSixel)->Unit(benchmark::kMillisecond);

} // namespace
