// Interpreter throughput and start-up time.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fcntl.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "interpreter/interpreter.h"
#include "session/session.h"

namespace {

// Trivial lines (comments and F?) run through the whole loop in-process.
void BM_TrivialLines(benchmark::State& state) {
    std::string script;
    for (int i = 0; i < 50000; ++i) script += (i % 2) ? "! a comment line\n" : "f?\n";
    for (auto _ : state) {
        std::istringstream in(script);
        std::ostringstream out;
        tarva::Session s(in, out);
        tarva::run_loop(s);
        benchmark::DoNotOptimize(out.str().size());
    }
    state.SetItemsProcessed(state.iterations() * 50000);
}
BENCHMARK(BM_TrivialLines)->Unit(benchmark::kMillisecond);

// The real binary from exec to exit on an empty standard input: an upper
// bound of the time to the first prompt.
void BM_StartUpToExit(benchmark::State& state) {
    for (auto _ : state) {
        pid_t pid = fork();
        if (pid == 0) {
            int null = open("/dev/null", O_RDWR);
            dup2(null, 0);
            dup2(null, 1);
            dup2(null, 2);
            execl(TARVA_BINARY, "tarva", static_cast<char*>(nullptr));
            _exit(127);
        }
        int status = 0;
        waitpid(pid, &status, 0);
    }
}
BENCHMARK(BM_StartUpToExit)->Unit(benchmark::kMillisecond);

} // namespace
