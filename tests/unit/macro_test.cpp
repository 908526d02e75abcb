// Macro files: starting and ending them, REWIND, nesting, the macro library
// directory, OUT and the NEXT rule for numbered file names.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "commands/control/macro.h"
#include "interpreter/interpreter.h"
#include "session/next_file_name.h"
#include "session/session.h"
#include "temp_dir.h"
#include "text/fixed_text.h"

namespace tarva {
namespace {

namespace fs = std::filesystem;

std::size_t count_of(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
    return n;
}

// Each test runs in a fresh directory of its own.
class MacroTest : public ::testing::Test {
protected:
    static void write(const std::string& name, const std::string& text) {
        std::ofstream f(name, std::ios::binary);
        f << text;
    }
    static std::string read(const std::string& name) {
        std::ifstream f(name, std::ios::binary);
        std::stringstream ss;
        ss << f.rdbuf();
        return ss.str();
    }
    // Runs the command loop on `keyboard` and returns everything written.
    std::string run(const std::string& keyboard, std::vector<std::string> labels = {}, int* depth_after = nullptr) {
        std::istringstream in(keyboard);
        std::ostringstream out;
        Session s(in, out);
        s.interp.macro_library = "";
        s.interp.labels = std::move(labels);
        run_loop(s);
        if (depth_after) *depth_after = static_cast<int>(s.input().depth());
        return out.str();
    }

    testing_support::TempDir dir_;
};

TEST_F(MacroTest, RewindRepeatsTheBodyAndReturnsToTheKeyboard) {
    write("body.qvc", "f?\nrewind 2\n");
    std::string out = run("@ body\nf?\n");
    // Three passes of the body, then the keyboard's own F?.
    EXPECT_EQ(count_of(out, "No data file current"), 4u);
    EXPECT_EQ(count_of(out, "rewind 2"), 3u);

    write("once.qvc", "f?\nrewind\nf?\n");
    EXPECT_EQ(count_of(run("@ once\n"), "No data file current"), 1u);

    write("zero.qvc", "f?\nrewind 0\n");
    EXPECT_EQ(count_of(run("@ zero\n"), "No data file current"), 1u);

    EXPECT_NE(run("rewind 3\n").find(" No macro active.\n\n"), std::string::npos);
}

TEST_F(MacroTest, NestedMacrosContinueTheOuterOne) {
    write("outer.qvc", "! first\n@ inner\n! after inner\n");
    write("inner.qvc", "! inside\n");
    std::string out = run("@ outer\n");
    std::size_t first = out.find("! first");
    std::size_t inside = out.find("! inside");
    std::size_t after = out.find("! after inner");
    ASSERT_NE(first, std::string::npos);
    ASSERT_NE(inside, std::string::npos);
    ASSERT_NE(after, std::string::npos);
    EXPECT_LT(first, inside);
    EXPECT_LT(inside, after);
}

TEST_F(MacroTest, OuterLoopKeepsCountingAcrossAnInnerMacro) {
    // Each level counts its own repetitions: the outer body runs twice and
    // the run ends, although the inner macro is started in every pass.
    write("outer.qvc", "@ inner\nrewind 1\n");
    write("inner.qvc", "f?\n");
    int depth = -1;
    std::string out = run("@ outer\n", {}, &depth);
    EXPECT_EQ(count_of(out, "No data file current"), 2u);
    EXPECT_EQ(depth, 0);
    // An inner loop does not use up the outer one's count.
    write("outer2.qvc", "@ inner2\nrewind 1\n");
    write("inner2.qvc", "f?\nrewind 2\n");
    EXPECT_EQ(count_of(run("@ outer2\n"), "No data file current"), 6u);
}

TEST_F(MacroTest, SelfStartingMacroStopsAtTheNestingLimit) {
    write("self.qvc", "@ self\nf?\n");
    int depth = -1;
    std::string out = run("@ self\n", {}, &depth);
    EXPECT_EQ(count_of(out, " ? Error opening self.qvc .\n"), 1u);
    // Nine levels opened; each one then finishes its F?.
    EXPECT_EQ(count_of(out, "No data file current"), 9u);
    EXPECT_EQ(depth, 0);
}

TEST_F(MacroTest, AtAloneEndsTheMacroOrAsksAtTheKeyboard) {
    write("m.qvc", "f?\n@\nf?\n");
    EXPECT_EQ(count_of(run("@ m\n"), "No data file current"), 1u);
    std::string out = run("@\nm\n");
    EXPECT_NE(out.find(" Macro file name > "), std::string::npos);
    EXPECT_EQ(count_of(out, "No data file current"), 1u);
    // A blank answer only returns to the prompt.
    out = run("@\n\nf?\n");
    EXPECT_EQ(count_of(out, "No data file current"), 1u);
    EXPECT_EQ(out.find("does not exist"), std::string::npos);
}

TEST_F(MacroTest, NumericNameAsksAtTheKeyboardEvenInAMacro) {
    // "@ 2010" arrives as a number; the name is asked of the user, and the
    // answer comes from the keyboard, not from the running macro.
    write("num.qvc", "@ 2010\n! after\n");
    write("m.qvc", "! from m\n");
    std::string out = run("@ num\nm\n");
    EXPECT_NE(out.find(" Macro file name > "), std::string::npos);
    ASSERT_NE(out.find("! from m"), std::string::npos);
    ASSERT_NE(out.find("! after"), std::string::npos);
    EXPECT_LT(out.find("! from m"), out.find("! after"));
    EXPECT_EQ(out.find("2010.qvc"), std::string::npos);
}

TEST_F(MacroTest, HelpPauseTakesItsAnswerFromTheMacro) {
    std::string text = "#LONG\n";
    for (int i = 1; i <= 25; ++i) text += "text " + std::to_string(i) + "\n";
    write("h.hlp", text);
    write("m.qvc", "help/s h.hlp\nhelp long\nq\nf?\n");
    std::string out = run("@ m\n");
    // The answer "q" is read from the macro and shown after the pause.
    EXPECT_NE(out.find(" Type RETURN for more... q\n"), std::string::npos);
    EXPECT_EQ(out.find("text 21"), std::string::npos);
    EXPECT_EQ(count_of(out, "No data file current"), 1u);
}

TEST_F(MacroTest, NamesAndExtensions) {
    write("data.mac", "! from data.mac\n");
    write("data.qvc", "! from data.qvc\n");
    EXPECT_NE(run("@ data.mac\n").find("! from data.mac"), std::string::npos);
    EXPECT_NE(run("@data\n").find("! from data.qvc"), std::string::npos);
    EXPECT_NE(run("@ nothere\n").find(" nothere.qvc does not exist.\n\n"), std::string::npos);
    EXPECT_NE(run("@ " + std::string(27, 'a') + "\n").find(" Macro name too long.\n"), std::string::npos);
    EXPECT_NE(run("@ " + std::string(26, 'a') + "\n").find(" " + std::string(26, 'a') + ".qvc does not exist."),
              std::string::npos);
    // A name with a zero byte names no file, although its first part does.
    write("a.qvc", "! from a.qvc\n");
    std::string out = run(std::string("@ a\0b\n", 6));
    EXPECT_EQ(out.find("from a.qvc"), std::string::npos);
    EXPECT_NE(out.find(" does not exist."), std::string::npos);
    out = run(std::string("a\0b\n", 4));
    EXPECT_EQ(out.find("from a.qvc"), std::string::npos);
    // A directory of the name is not a macro.
    fs::create_directory("dir.qvc");
    EXPECT_NE(run("@ dir\n").find(" ? Error opening dir.qvc .\n"), std::string::npos);
}

TEST_F(MacroTest, UnknownWordStartsAMacroWithArguments) {
    write("mymac.qvc", "! args ~\n");
    std::string out = run("mymac one  two\n");
    EXPECT_NE(out.find(" Executing the login macro: mymac.qvc\n\n"), std::string::npos);
    // The expanded line is shown whole, between parentheses.
    EXPECT_NE(out.find(" (" + pad("!  args one  two", 40) + ")\n"), std::string::npos);
    // The library directory is the second place looked at.
    fs::create_directory("lib");
    write("lib/libmac.qvc", "f?\n");
    std::istringstream in("libmac\nnomac\n");
    std::ostringstream sink;
    Session s(in, sink);
    s.interp.macro_library = "lib/";
    run_loop(s);
    EXPECT_NE(sink.str().find("Executing the login macro: lib/libmac.qvc"), std::string::npos);
    EXPECT_NE(sink.str().find("No data file current"), std::string::npos);
    EXPECT_NE(sink.str().find(" ?NOMAC   \n"), std::string::npos);
}

TEST_F(MacroTest, FailedDataEndsTheInnermostMacro) {
    // A numeric argument left above zero by DATA ends the macro; the same
    // value on another command does not.
    write("d.qvc", "data 5\nf?\n");
    EXPECT_EQ(count_of(run("@ d\n"), "No data file current"), 0u);
    write("e.qvc", "fval 5\nf?\n");
    EXPECT_EQ(count_of(run("@ e\n"), "No data file current"), 1u);
}

TEST_F(MacroTest, MacroEndingInsideADialogueGivesUpTheCommand) {
    // OUT asks for a name; the macro ends there and the keyboard goes on.
    write("m.qvc", "out\n");
    std::string out = run("@ m\nf?\n");
    EXPECT_NE(out.find("Macro filename for output > "), std::string::npos);
    EXPECT_EQ(out.find("Command aborted."), std::string::npos);
    EXPECT_EQ(count_of(out, "No data file current"), 1u);
}

TEST_F(MacroTest, BinaryAndOverlongMacroLines) {
    std::string junk = "f?\n";
    junk += std::string(10000, 'x') + "\n";
    junk += std::string("\0\xff\x01@~%#|\r\n", 10);
    junk += "f?"; // no final line end
    write("junk.qvc", junk);
    int depth = -1;
    std::string out = run("@ junk\n", {}, &depth);
    EXPECT_EQ(count_of(out, "No data file current"), 2u);
    EXPECT_EQ(depth, 0);
}

TEST_F(MacroTest, MacroDirectoryShowSetAndClear) {
    std::istringstream in("macro\nmacro /home/u/mac/\nmacro/c\nmacro /x/\nmacro\n");
    std::ostringstream out;
    Session s(in, out);
    s.interp.macro_library = "/start/bin/";
    run_loop(s);
    const std::string text = out.str();
    EXPECT_NE(text.find(" Macro directory is: /start/bin/\n"), std::string::npos);
    EXPECT_NE(text.find(" Macro directory set to: /home/u/mac/\n"), std::string::npos);
    EXPECT_NE(text.find(" Macro directory cleared.\n"), std::string::npos);
    EXPECT_EQ(count_of(text, " Macro directory not set\n"), 2u);
    EXPECT_TRUE(s.interp.macro_library.blank());
}

TEST_F(MacroTest, OutReplacesFromTheAtLine) {
    write("t.qvc", "line one\n  line two\n  @  \nold label\n@\n");
    std::string out = run("out t\n", {"   LABEL/C 1 2 text   ", "      "});
    EXPECT_EQ(read("t.qvc"), "line one\n  line two\nLABEL/C 1 2 text\n \n@\n");
    EXPECT_NE(out.find(" Macro file t.qvc extended to   5 lines.\n\n"), std::string::npos);

    // Without an "@" line everything is kept; a missing last line end is added.
    write("u.qvc", "a\nb");
    out = run("out u.qvc\n");
    EXPECT_EQ(read("u.qvc"), "a\nb\n@\n");
    EXPECT_NE(out.find(" Macro file u.qvc extended to   3 lines."), std::string::npos);

    // ".qvc" is appended to any name that does not contain it.
    write("foo.mac.qvc", "@\n");
    write("foo.mac", "untouched\n");
    out = run("out foo.mac\n");
    EXPECT_EQ(read("foo.mac.qvc"), "@\n");
    EXPECT_EQ(read("foo.mac"), "untouched\n");
    EXPECT_NE(out.find("extended to   1 lines."), std::string::npos);
}

TEST_F(MacroTest, OutPromptsAndAborts) {
    std::string out = run("out\n\n");
    EXPECT_NE(out.find(" Macro filename for output > "), std::string::npos);
    EXPECT_NE(out.find(" Command aborted.\n\n"), std::string::npos);

    out = run("out missing\n\n");
    EXPECT_NE(out.find(" Unable to open missing.qvc, macro filename for output > "), std::string::npos);
    EXPECT_NE(out.find(" Command aborted.\n\n"), std::string::npos);
    EXPECT_FALSE(fs::exists("missing.qvc"));

    // A second name is tried after the first fails; the name is offered later.
    write("good.qvc", "x\n");
    out = run("out missing\ngood\nout\n\n");
    EXPECT_NE(out.find(" Macro file good.qvc extended to   2 lines."), std::string::npos);
    EXPECT_NE(out.find(" Macro filename for output (NL for good.qvc) > "), std::string::npos);
    EXPECT_EQ(read("good.qvc"), "x\n@\n");

    // A pipe of the name is refused at once instead of blocking the read.
    ASSERT_EQ(::mkfifo("pipe.qvc", 0600), 0);
    out = run("out pipe\n\n");
    EXPECT_NE(out.find("Unable to open pipe.qvc"), std::string::npos);

    // The file keeps its permissions when it is extended.
    write("mode.qvc", "a\n");
    ::chmod("mode.qvc", 0640);
    run("out mode\n");
    struct stat st {};
    ASSERT_EQ(::stat("mode.qvc", &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(read("mode.qvc"), "a\n@\n");

    if (geteuid() != 0) {
        write("ro.qvc", "keep\n@\n");
        ::chmod("ro.qvc", 0444);
        out = run("out ro\n\n");
        EXPECT_NE(out.find("Unable to open ro.qvc"), std::string::npos);
        EXPECT_EQ(read("ro.qvc"), "keep\n@\n");
        // A writable file in a directory that is not: nothing changes.
        fs::create_directory("rodir");
        write("rodir/x.qvc", "keep\n");
        ::chmod("rodir", 0555);
        out = run("out rodir/x\n");
        ::chmod("rodir", 0755);
        EXPECT_NE(out.find(" Unable to write rodir/x.qvc, macro file not changed.\n\n"), std::string::npos);
        EXPECT_EQ(out.find("extended"), std::string::npos);
        EXPECT_EQ(read("rodir/x.qvc"), "keep\n");
    }
}

class NextFileTest : public MacroTest {
protected:
    std::string next(std::string name, bool expect_found, std::string* message = nullptr) {
        std::istringstream in;
        std::ostringstream out;
        Session s(in, out);
        EXPECT_EQ(next_file_name(s, name), expect_found);
        if (message) *message = out.str();
        return name;
    }
};

TEST_F(NextFileTest, SkipsGapsAndDropsLeadingZeros) {
    write("spec14.dat", "");
    EXPECT_EQ(next("spec12.dat", true), "spec14.dat");
    write("run8.dat", "");
    write("run008.dat", "");
    EXPECT_EQ(next("  run007.dat", true), "run8.dat");
    write("s111.x", "");
    EXPECT_EQ(next("s11.x", true), "s111.x"); // a gap of 99
    std::string msg;
    EXPECT_EQ(next("s10.y", false, &msg), "s10.y");
    EXPECT_EQ(msg, " Cannot find a new file within 100 of exisiting file.\n");
    write("n3", "");
    EXPECT_EQ(next("n2", true), "n3");
}

TEST_F(NextFileTest, DigitRunRules) {
    std::string msg;
    EXPECT_EQ(next("abc.d1", false, &msg), "abc.d1");
    EXPECT_EQ(msg, " No numeric part to increment\n");
    // Only the last six digits count.
    write("r1234568.x", "");
    EXPECT_EQ(next("r1234567.x", true), "r1234568.x");
    // Text after the digits is kept; a directory is not a file.
    fs::create_directory("a6b.d");
    write("a7b.d", "");
    EXPECT_EQ(next("a5b.d", true), "a7b.d");
    write("x1000000", "");
    EXPECT_EQ(next("x999999", true), "x1000000");
}

} // namespace
} // namespace tarva
