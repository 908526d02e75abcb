// Seeded random driver for the fuzz targets: feeds N inputs made of random
// bytes, random printable text and mutated lines of command-like text.
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "fuzz_target.h"

int main(int argc, char** argv) {
    long runs = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 10000;
    std::mt19937 rng(argc > 2 ? static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10)) : 12345u);
    const std::vector<std::string> seeds = {
        "fit 10", "data run1", "@ mymac", "$ ls | more", "log/x 3", "fval -2.5e1", "1.5x", "#%~|",
        "param/a out", "draw/q", "funct 12", "!comment", "echo/d log", "  \t  ", "1e999", "-.e-", "9999999999999999999999",
    };
    std::uniform_int_distribution<int> byte(0, 255), kind(0, 2), len(0, 300);
    for (long r = 0; r < runs; ++r) {
        std::string input;
        switch (kind(rng)) {
        case 0:
            for (int i = len(rng); i > 0; --i) input.push_back(static_cast<char>(byte(rng)));
            break;
        case 1:
            for (int i = len(rng); i > 0; --i) input.push_back(static_cast<char>(32 + byte(rng) % 95));
            break;
        default: {
            input = seeds[static_cast<std::size_t>(byte(rng)) % seeds.size()];
            int edits = 1 + byte(rng) % 8;
            for (int e = 0; e < edits && !input.empty(); ++e) {
                std::size_t pos = static_cast<std::size_t>(byte(rng)) % input.size();
                switch (byte(rng) % 3) {
                case 0: input[pos] = static_cast<char>(byte(rng)); break;
                case 1: input.insert(pos, 1, "0123456789.eE+-/ #%~|@"[byte(rng) % 22]); break;
                default: input.erase(pos, 1); break;
                }
            }
        }
        }
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
    }
    return 0;
}
