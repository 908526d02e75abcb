// The program's own arguments: --version and --help answer and end, a
// session takes none.
#include "interpreter/program_arguments.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "interpreter/interpreter.h"
#include "session/session.h"

namespace tarva {
namespace {

struct Answer {
    std::optional<int> status;
    std::string out, err;
};

Answer answer(const std::vector<const char*>& args, const char* library = nullptr) {
    std::vector<const char*> argv{"tarva"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::ostringstream out, err;
    Answer a;
    a.status = answer_program_arguments(static_cast<int>(argv.size()), argv.data(), library, out, err);
    a.out = out.str();
    a.err = err.str();
    return a;
}

TEST(ProgramArguments, NoneStartsTheSession) {
    const Answer a = answer({});
    EXPECT_FALSE(a.status.has_value());
    EXPECT_EQ(a.out + a.err, "");
}

TEST(ProgramArguments, VersionAndHelpAnswerAndEnd) {
    for (const char* v : {"--version", "-V"}) {
        const Answer a = answer({v});
        EXPECT_EQ(a.status, 0);
        EXPECT_EQ(a.out, std::string("tarva ") + kVersion + "\n");
    }
    const Answer h = answer({"--help"});
    EXPECT_EQ(h.status, 0);
    EXPECT_EQ(h.err, "");
    EXPECT_EQ(answer({"-h"}).out, h.out);
    // One screen: at most 24 lines of at most 80 columns.
    std::istringstream lines(h.out);
    int n = 0;
    for (std::string line; std::getline(lines, line); ++n) EXPECT_LE(line.size(), 80u) << line;
    EXPECT_LE(n, 24);
    EXPECT_NE(h.out.find("Usage: tarva [--help | --version]"), std::string::npos);
    EXPECT_NE(h.out.find(std::string("xraylines.dat): ") + kDefaultLibraryDir + "\n"), std::string::npos);
    EXPECT_NE(h.out.find("TARVA_LIB names another"), std::string::npos);
    EXPECT_NE(h.out.find("man tarva"), std::string::npos);
    // With TARVA_LIB set, the directory in use is named.
    EXPECT_NE(answer({"--help"}, "/opt/lib/").out.find("now replaced by TARVA_LIB: /opt/lib/\n"), std::string::npos);
}

TEST(ProgramArguments, AnythingElseIsRefused) {
    const std::vector<std::pair<std::vector<const char*>, std::string>> cases{
        {{"run1"}, "run1"}, {{"--help", "x"}, "x"}, {{"--versio"}, "--versio"}};
    for (const auto& [args, bad] : cases) {
        const Answer a = answer(args);
        EXPECT_EQ(a.status, 2);
        EXPECT_EQ(a.out, "");
        EXPECT_EQ(a.err, "tarva: unknown argument \"" + bad + "\"; a session takes none (tarva --help tells more)\n");
    }
}

} // namespace
} // namespace tarva
