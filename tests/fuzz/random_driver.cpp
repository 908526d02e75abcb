// Seeded random driver for the fuzz targets: feeds N inputs made of random
// bytes, random printable text and mutated lines of command-like text.
//   TARGET [N [SEED]]     N random inputs (default 10000, seed 12345)
//   TARGET PATH...        each file, or each file of a directory, as one
//                         input (saved inputs that once failed), as
//                         libFuzzer runs a corpus
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "fuzz_target.h"

namespace {

void run_file(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    const std::string input((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
}

// Runs the inputs named on the command line; false when an argument is not
// a path (then it is the count of random runs).
bool run_paths(int argc, char** argv) {
    if (argc < 2 || std::all_of(argv[1], argv[1] + std::char_traits<char>::length(argv[1]),
                                [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }))
        return false;
    // All names first: a target may change the working directory.
    std::vector<std::filesystem::path> files;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path path = std::filesystem::absolute(argv[i]);
        if (!std::filesystem::is_directory(path)) {
            files.push_back(path);
            continue;
        }
        std::vector<std::filesystem::path> inside;
        for (const auto& e : std::filesystem::directory_iterator(path))
            if (e.is_regular_file()) inside.push_back(e.path());
        std::sort(inside.begin(), inside.end());
        files.insert(files.end(), inside.begin(), inside.end());
    }
    for (const auto& f : files) run_file(f);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (run_paths(argc, argv)) return 0;
    long runs = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 10000;
    std::mt19937 rng(argc > 2 ? static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10)) : 12345u);
    const std::vector<std::string> seeds = {
        "fit 10",
        "data run1",
        "@ mymac",
        "$ ls | more",
        "log/x 3",
        "fval -2.5e1",
        "1.5x",
        "#%~|",
        "param/a out",
        "draw/q",
        "funct 12",
        "!comment",
        "echo/d log",
        "  \t  ",
        "1e999",
        "-.e-",
        "9999999999999999999999",
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
