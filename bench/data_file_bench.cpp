// DATA and SAVE of a full (1024-point) data file on disk, through the
// commands themselves.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <unistd.h>

#include "commands/command_context.h"
#include "commands/commands.h"
#include "session/session.h"

namespace {

namespace fs = std::filesystem;

// Works in a fresh directory of its own (names on a command line are short).
struct BenchDir {
    BenchDir()
        : home(fs::current_path()), path(fs::temp_directory_path() / ("tarva_bench_" + std::to_string(::getpid()))) {
        fs::create_directories(path);
        fs::current_path(path);
    }
    ~BenchDir() {
        fs::current_path(home);
        fs::remove_all(path);
    }
    fs::path home;
    fs::path path;
};

// A session holding 1024 points and a fitted-looking function 2 (a cubic).
void fill(tarva::Session& s) {
    s.data.count = 1024;
    s.data.caption = "Benchmark spectrum";
    for (std::size_t i = 0; i < 1024; ++i) {
        s.data.X[i] = 0.37f * static_cast<float>(i) + 1.0f;
        s.data.Y[i] = 1000.0f + 3.3f * static_cast<float>(i);
        s.data.SIGMA[i] = 31.7f;
    }
    s.fit.function = 2;
    s.fit.nparams = 5;
    for (std::size_t i = 0; i < 5; ++i) s.fit.value[i] = 1.0 / static_cast<double>(i + 3);
}

tarva::CommandContext command(const std::string& word, const std::string& argument) {
    tarva::CommandContext ctx;
    ctx.line = word + std::string(7 - word.size(), ' ') + argument;
    return ctx;
}

void BM_Save1024(benchmark::State& state) {
    BenchDir dir;
    const std::string name = "bench.fit";
    std::istringstream in;
    std::ostringstream out;
    tarva::Session s(in, out);
    fill(s);
    for (auto _ : state) {
        auto ctx = command("SAVE", name);
        tarva::cmd_save(s, ctx);
        out.str("");
    }
}
BENCHMARK(BM_Save1024)->Unit(benchmark::kMillisecond);

void BM_Data1024(benchmark::State& state) {
    BenchDir dir;
    const std::string name = "bench.fit";
    std::istringstream in;
    std::ostringstream out;
    tarva::Session s(in, out);
    fill(s);
    auto save = command("SAVE", name);
    tarva::cmd_save(s, save);
    for (auto _ : state) {
        auto ctx = command("DATA", name);
        tarva::cmd_data(s, ctx);
        if (s.data.count != 1024 || ctx.number != 0.0) {
            state.SkipWithError(("DATA did not read the file: " + out.str()).c_str());
            break;
        }
        out.str("");
    }
}
BENCHMARK(BM_Data1024)->Unit(benchmark::kMillisecond);

} // namespace
