// Stroke text, axes and symbols laid out as a picture needs them: a title
// line in a packed font, the marks and numbers of both axes, and 1024 data
// symbols with error bars.
#include <benchmark/benchmark.h>

#include "graphics/axes.h"
#include "graphics/symbols.h"
#include "graphics/text.h"

namespace {

void BM_TitleLine(benchmark::State& state) {
    const int font = static_cast<int>(state.range(0));
    const std::string text = "^3Counts / 10^U3^R versus E (^Gm^CeV) for run 2010: ^Ebox^E a^^b ^Zbold^Z and so on";
    tarva::Strokes out;
    for (auto _ : state) {
        out.clear();
        benchmark::DoNotOptimize(tarva::layout_text(font, 0, 0, 1, 1, 0.75F, 0, text, &out));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<long>(text.size()));
}
BENCHMARK(BM_TitleLine)->Arg(0)->Arg(3);

void BM_Axes(benchmark::State& state) {
    tarva::AxisSettings a;
    a.log_x = state.range(0) != 0;
    const tarva::PlotWindow w{-2, 3, 0, 12345};
    tarva::Strokes out;
    for (auto _ : state) {
        out.clear();
        tarva::layout_axes(a, w, 0, 0.1F, 300.0F, 7, 7, 1.0F, false, out);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_Axes)->Arg(0)->Arg(1);

void BM_Symbols1024(benchmark::State& state) {
    tarva::SymbolFrame f;
    f.unit_x = 0.01F;
    f.unit_y = 0.02F;
    tarva::ErrorBarStyle style;
    style.crossbars = true;
    tarva::Strokes out;
    for (auto _ : state) {
        out.clear();
        for (int i = 0; i < 1024; ++i) {
            tarva::layout_symbol(f, style, i / 1024.0F, 0.5F, 0.1F, 1 + i % 8, 1.0F, out);
        }
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_Symbols1024);

} // namespace
