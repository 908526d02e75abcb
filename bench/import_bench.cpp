// IMPORT of a 16384-channel spectrum from disk in each layout: reading,
// recognising the layout, summing 16 channels into each of 1024 points and
// filling the data set (the files are written once, in a directory of
// their own).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "dataset/import/instrument_import.h"
#include "instrument_samples.h"

namespace {

namespace fs = std::filesystem;
using namespace tarva::testing_support::samples;
constexpr int kChannels = 16384;

std::vector<double> counts() {
    std::vector<double> c(kChannels);
    for (int i = 0; i < kChannels; ++i)
        c[static_cast<std::size_t>(i)] =
            std::round(30 + 4000 * std::exp(-0.5 * std::pow((i - 6000) / 20.0, 2)) + i % 7);
    return c;
}

std::string table(const std::vector<double>& c) {
    std::string t = "# one count per channel\n";
    for (double v : c) t += std::to_string(static_cast<long>(v)) + "\n";
    return t;
}

struct BenchFiles {
    BenchFiles() : path(fs::temp_directory_path() / ("tarva_import_bench_" + std::to_string(::getpid()))) {
        fs::create_directories(path);
        const std::vector<double> c = counts();
        for (auto [name, bytes] : {std::pair{"x.spe", spe_ortec(c)},
                                   {"x.mca", pmca(c)},
                                   {"x.txt", table(c)},
                                   {"x.chn", chn(c, 0, true)},
                                   {"x.cnf", cnf(c)}})
            std::ofstream(path / name, std::ios::binary) << bytes;
        // The reader program of this build, as the tests use it.
        ::setenv("TARVA_XYLIB_READER", TARVA_XYLIB_READER_BINARY, 0);
    }
    ~BenchFiles() { fs::remove_all(path); }
    fs::path path;
};

BenchFiles& files() {
    static BenchFiles f;
    return f;
}

void import_layout(benchmark::State& state, const char* name) {
    const std::string path = (files().path / name).string();
    tarva::DataSet data;
    for (auto _ : state) {
        auto imported = tarva::import_file(path);
        if (!imported || imported.value->x.size() != 1024) {
            state.SkipWithError(imported.error.c_str());
            return;
        }
        tarva::store_import(*imported.value, data, name);
        benchmark::DoNotOptimize(data.Y[512]);
    }
}

void BM_Import16384Spe(benchmark::State& state) { import_layout(state, "x.spe"); }
void BM_Import16384Pmca(benchmark::State& state) { import_layout(state, "x.mca"); }
void BM_Import16384Table(benchmark::State& state) { import_layout(state, "x.txt"); }
void BM_Import16384Chn(benchmark::State& state) { import_layout(state, "x.chn"); }
// Canberra CNF through xylib in its own process (tarva-xylib).
void BM_Import16384CnfXylib(benchmark::State& state) { import_layout(state, "x.cnf"); }

BENCHMARK(BM_Import16384Spe)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Import16384Pmca)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Import16384Table)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Import16384Chn)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Import16384CnfXylib)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
