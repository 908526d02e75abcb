// Vectors through the device layer into each driver: the cost per plot_pen
// call of a drawn curve, with the output going to /dev/null (terminal) or to
// a file (PostScript, HP-GL).
#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <sstream>

#include <unistd.h>

#include "plot/device.h"
#include "plot/plot.h"
#include "session/session.h"

namespace {

// A private working directory for the plot files of one benchmark.
struct WorkDir {
    std::filesystem::path old = std::filesystem::current_path();
    std::filesystem::path dir;
    WorkDir() {
        dir = std::filesystem::temp_directory_path() / ("tarva_bench_plot_" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        std::filesystem::current_path(dir);
    }
    ~WorkDir() {
        std::error_code ec;
        std::filesystem::current_path(old, ec);
        std::filesystem::remove_all(dir, ec);
    }
};

void curve(benchmark::State& state, char device, int thick) {
    WorkDir wd;
    std::istringstream in;
    std::ostringstream out;
    tarva::Session s(in, out);
    s.graphics.terminal_type = 1;
    s.graphics.clear_flag = false;
    tarva::open_destination(s, "/dev/null");
    tarva::set_line_thickness(s.graphics, thick, 0.1f);
    float status = 0;
    tarva::begin_plot(s, tarva::kSqrt2, device, 0, 100, -1.5f, 1.5f, status);
    constexpr int kPoints = 250;
    long vectors = 0;
    for (auto _ : state) {
        tarva::plot_pen(s, device, 0, 0, 3);
        for (int i = 1; i <= kPoints; ++i) {
            const float x = 100.0f * static_cast<float>(i) / kPoints;
            tarva::plot_pen(s, device, x, std::sin(x * 0.3f), 2);
        }
        vectors += kPoints;
        if (vectors > 2'000'000) { // keep the plot file small
            tarva::close_plot_files(s, '*');
            tarva::begin_plot(s, tarva::kSqrt2, device, 0, 100, -1.5f, 1.5f, status);
            vectors = 0;
        }
    }
    tarva::end_plot(s, device);
    tarva::close_plot_files(s, 'S');
    state.SetItemsProcessed(state.iterations() * kPoints);
}

void BM_TerminalCurve(benchmark::State& state) { curve(state, 'S', 0); }
void BM_PostScriptCurve(benchmark::State& state) { curve(state, 'Q', 0); }
void BM_HpglCurve(benchmark::State& state) { curve(state, 'P', 0); }
void BM_PostScriptThickCurve(benchmark::State& state) { curve(state, 'Q', 3); }

} // namespace

BENCHMARK(BM_TerminalCurve);
BENCHMARK(BM_PostScriptCurve);
BENCHMARK(BM_HpglCurve);
BENCHMARK(BM_PostScriptThickCurve);
