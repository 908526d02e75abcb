// Fuzz target: macro files that start each other, end themselves and
// rewind, built from the input; every run must end with the keyboard on top.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

#include "fuzz_target.h"
#include "interpreter/interpreter.h"
#include "session/session.h"

namespace {

// The fuzz runs in a directory of its own; the macros are a.qvc and b.qvc.
void enter_temp_dir() {
    static bool done = [] {
        char tmpl[] = "/tmp/tarva_macro_fuzz_XXXXXX";
        if (mkdtemp(tmpl) && chdir(tmpl) == 0) return true;
        std::abort();
    }();
    (void)done;
}

// A line from a small vocabulary of macro commands; only commands that
// write no files are used.
std::string macro_line(unsigned char kind, std::string_view rest) {
    switch (kind % 10) {
    case 0: return "@ a";
    case 1: return "@b";
    case 2: return "@";
    case 3: return "rewind " + std::to_string(kind / 10 % 2);
    case 4: return "f?";
    case 5: return "";
    case 6: return "macro";
    case 7: return "zz" + std::to_string(kind % 3);
    case 8: {
        // Raw bytes in a comment, kept on its line: a line end among them
        // would start a line of its own (an "E..." line is EXIT, which ends
        // the run before the keyboard's F? and fails the check below).
        std::string comment(rest);
        for (char& c : comment)
            if (c == '\n') c = ' ';
        return "! " + comment;
    }
    default: return "rewind";
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    enter_temp_dir();
    std::string files[2];
    std::size_t i = 0;
    for (int f = 0; f < 2; ++f) {
        // One macro start per file: more would multiply the work with every
        // nesting level (a legitimate but endless-looking macro program).
        bool started = false;
        for (int n = 0; n < 6 && i < size; ++n, ++i) {
            std::string_view rest(reinterpret_cast<const char*>(data) + i, std::min<std::size_t>(size - i, 5));
            std::string line = macro_line(data[i], rest);
            if (line.size() > 1 && line[0] == '@') {
                if (started) line = "f?";
                started = true;
            }
            files[f] += line;
            if (data[i] != 255) files[f] += '\n'; // sometimes no last line end
        }
    }
    // Removed and created anew: replacing a file's contents in place makes
    // some file systems flush it to disk at every close.
    for (int f = 0; f < 2; ++f) {
        const char* name = f ? "b.qvc" : "a.qvc";
        std::remove(name);
        std::ofstream(name, std::ios::binary) << files[f];
    }
    std::istringstream keyboard("@ a\nf?\n");
    std::ostringstream out;
    tarva::Session s(keyboard, out);
    s.interp.macro_library = "";
    tarva::run_loop(s);
    if (s.input().depth() != 0) __builtin_trap();
    // The keyboard's own F? always runs after the macros have ended.
    const std::string text = out.str();
    if (text.size() < 21 || text.rfind("No data file current") == std::string::npos) __builtin_trap();
    return 0;
}
