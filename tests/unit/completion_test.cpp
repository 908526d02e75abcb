// TAB at the "fit> " prompt: command words from the table, file names after
// the commands that take one; and the same through readline in the real
// program on a pseudo-terminal, at that prompt and at the questions.
#include "interpreter/completion.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "tarva_terminal.h"
#include "temp_dir.h"

namespace tarva {
namespace {

using Names = std::vector<std::string>;

// A made-up working directory with one subdirectory.
std::vector<DirectoryEntry> fake_directory(const std::string& dir) {
    static const std::map<std::string, std::vector<DirectoryEntry>> tree{
        {"",
         {{"run2.d", false},
          {"run1.fit", false},
          {"run1.d", false},
          {"run3.FIT", false},
          {"runs", true},
          {".run0.fit", false},
          {"fit.qvc", false},
          {"peak.sub", false}}},
        {"runs/", {{"r9.fit", false}, {"r9.txt", false}}},
    };
    auto it = tree.find(dir);
    return it == tree.end() ? std::vector<DirectoryEntry>{} : it->second;
}

Names complete(std::string_view line) {
    const std::size_t start = line.find_last_of(" \t") == std::string_view::npos ? 0 : line.find_last_of(" \t") + 1;
    return complete_at_prompt(line, start, fake_directory);
}

TEST(Completion, CommandWordsInTableOrderAndTypedCase) {
    EXPECT_EQ(complete("dr"), Names{"draw"});
    EXPECT_EQ(complete("DR"), Names{"DRAW"});
    EXPECT_EQ(complete("Ph"), Names({"PHA", "PHA2"}));
    EXPECT_EQ(complete("fu"), Names({"funct", "fuzz"}));
    EXPECT_EQ(complete("  ma"), Names({"mask", "make", "mass", "macro"}));
    EXPECT_EQ(complete("im"), Names{"import"});
    EXPECT_EQ(complete("pe"), Names({"period", "peaks"}));
    EXPECT_EQ(complete("").size(), 75u);
    EXPECT_EQ(complete("zz"), Names{});
    // A word with its qualifier is complete already.
    EXPECT_EQ(complete("draw/"), Names{});
}

TEST(Completion, FileNamesAfterCommandsThatTakeOne) {
    // The default extension first (in either case), then the rest and the
    // directories; hidden files only when asked for.
    EXPECT_EQ(complete("data r"), Names({"run1.fit", "run3.FIT", "run1.d", "run2.d", "runs/"}));
    EXPECT_EQ(complete("da run"), Names({"run1.fit", "run3.FIT", "run1.d", "run2.d", "runs/"}));
    EXPECT_EQ(complete("LOAD run"), Names({"run1.d", "run2.d", "run1.fit", "run3.FIT", "runs/"}));
    EXPECT_EQ(complete("data .r"), Names{".run0.fit"});
    EXPECT_EQ(complete("data runs/r"), Names({"runs/r9.fit", "runs/r9.txt"}));
    EXPECT_EQ(complete("mca/a runs/"), Names({"runs/r9.txt", "runs/r9.fit"}));
    EXPECT_EQ(complete("@ f"), Names{"fit.qvc"});
    EXPECT_EQ(complete("@f"), Names{"@fit.qvc"});
    EXPECT_EQ(complete("subplot p"), Names{"peak.sub"});
    EXPECT_EQ(complete("make run2"), Names{"run2.d"});
    EXPECT_EQ(complete("import/c run2"), Names{"run2.d"});
    // Commands without a file name, and words after the file name.
    EXPECT_EQ(complete("fit r"), Names{});
    EXPECT_EQ(complete("param r"), Names{});
    EXPECT_EQ(complete("data run1 r"), Names{});
    EXPECT_EQ(file_extension_of("param/a"), ".lis");
    EXPECT_EQ(file_extension_of("echo/d"), "");
    EXPECT_EQ(file_extension_of("echo"), std::nullopt);
}

TEST(Completion, TabAtThePromptOfTheProgram) {
    char dir[] = "/tmp/tarva_complete_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    for (const char* f : {"peaks.d", "peaks.fit"}) std::ofstream(std::string(dir) + "/" + f) << "x\n";
    // "dr" completes to "draw " (Ctrl-U then clears the line); "data pe"
    // completes to the common "peaks.", and TAB twice more lists the
    // candidates, the .fit file first.
    testing_support::TerminalOptions o;
    o.keys = {"dr\t", "\x15", "data pe\t", "\t", "\t", "\x15", "exit\r"};
    const testing_support::TerminalRun r = testing_support::run_at_terminal(dir, o);
    std::filesystem::remove_all(dir);
    if (r.no_terminal && !std::getenv("CI")) GTEST_SKIP() << "no pseudo-terminal on this machine";
    EXPECT_TRUE(r.exited_with(0)) << r.seen;
    const std::string& seen = r.seen;
    EXPECT_NE(seen.find("draw "), std::string::npos) << seen;
    EXPECT_NE(seen.find("aks."), std::string::npos) << seen;
    const std::size_t fit = seen.find("peaks.fit"), d = seen.find("peaks.d ");
    ASSERT_NE(fit, std::string::npos) << seen;
    ASSERT_NE(d, std::string::npos) << seen;
    EXPECT_LT(fit, d) << seen;
}

// TAB at the questions of commands completes file names where a file is
// asked for and nothing anywhere else: a name, a number, yes or no, the
// cursor's report (it once crashed readline at every one of them).
TEST(Completion, TabAtEveryKindOfQuestion) {
    const testing_support::TempDir dir;
    testing_support::write_file("small.fit", "Small test\nX\nY\n5 1\n0\n1\n0\n1 2 0.5\n2 3 0.5\n3 5 0.5\n4 4 0.5\n");
    testing_support::TerminalOptions o;
    o.keys = {"xray\r",         "f\t",   "e k\r",                      // a name
              "npar\r",         "3\t",   "\r",                         // a number
              "data\r",         "sma\t", "\r",                         // a file name
              "insert small\r", "\t",    "n\r",                        // yes or no
              "draw\r",         "1\r",   "bump\r", "\t", "x\r", "q\r", // the cursor, on a Tektronix screen
              "exit\r"};
    const testing_support::TerminalRun r = testing_support::run_at_terminal(dir.path().string(), o);
    if (r.no_terminal && !std::getenv("CI")) GTEST_SKIP() << "no pseudo-terminal on this machine";
    EXPECT_TRUE(r.exited_with(0)) << r.seen;
    using ::testing::HasSubstr;
    EXPECT_THAT(r.seen, HasSubstr("Finding x-ray lines of FE K"));
    EXPECT_THAT(r.seen, HasSubstr("Number of parameters set to          3"));
    EXPECT_THAT(r.seen, HasSubstr("Filename for input > small.fit"));
    EXPECT_THAT(r.seen, HasSubstr("   4 points in data file."));
    EXPECT_THAT(r.seen, HasSubstr("small.fit already exists, overwrite? (Y or N) > "));
    EXPECT_THAT(r.seen, HasSubstr("Key not used by BUMP."));
}

} // namespace
} // namespace tarva
