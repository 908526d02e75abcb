// Macro throughput: a small macro repeated 100,000 times by REWIND.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

#include "commands/control/macro.h"
#include "interpreter/interpreter.h"
#include "session/session.h"

namespace {

void BM_RewindLoop(benchmark::State& state) {
    char dir[] = "/tmp/tarva_macro_bench_XXXXXX";
    if (!mkdtemp(dir)) {
        state.SkipWithError("no temporary directory");
        return;
    }
    const std::string path = std::string(dir) + "/loop.qvc";
    // Three lines: a comment, a command with output, and the loop back.
    std::ofstream(path) << "! one pass\nf?\nrewind 99999\n";
    for (auto _ : state) {
        std::istringstream keyboard("");
        std::ostringstream out;
        tarva::Session s(keyboard, out);
        if (!tarva::open_macro(s, path)) {
            state.SkipWithError("macro did not start");
            break;
        }
        tarva::run_loop(s);
        benchmark::DoNotOptimize(out.str().size());
    }
    state.SetItemsProcessed(state.iterations() * 100000);
    std::remove(path.c_str());
    rmdir(dir);
}
BENCHMARK(BM_RewindLoop)->Unit(benchmark::kMillisecond);

} // namespace
