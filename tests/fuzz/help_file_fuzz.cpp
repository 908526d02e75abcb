// Fuzz target: the help readers on arbitrary help files (keyword lines,
// overlong and binary lines, missing line ends), with paging answers.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

#include "commands/control/help.h"
#include "fuzz_target.h"
#include "session/session.h"

namespace {

std::string temp_file() {
    static std::string name = [] {
        char tmpl[] = "/tmp/tarva_help_fuzz_XXXXXX";
        int fd = mkstemp(tmpl);
        if (fd >= 0) close(fd);
        return std::string(tmpl);
    }();
    return name;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    // Some separators become line ends and keyword marks, so random text
    // also makes sections.
    for (char& c : text) {
        if (c == ';') c = '\n';
        if (c == '^') c = '#';
    }
    const std::string file = temp_file();
    {
        // Created anew: rewriting a file in place makes some file systems
        // flush it to disk at every close.
        std::remove(file.c_str());
        std::ofstream f(file, std::ios::binary);
        f << text;
    }
    std::string topic = text.substr(0, std::min<std::size_t>(text.size(), 6));
    std::istringstream answers(size % 2 ? "\n\n\nq\n" : "\n");
    std::ostringstream out;
    tarva::Session s(answers, out);
    s.interp.function_help_file = file;
    tarva::show_help_file(s, false, file, topic);
    tarva::show_help_file(s, true, file, topic);
    tarva::show_function_help(s, size % 53);
    if (out.str().empty()) __builtin_trap(); // every path writes something
    return 0;
}
