// Files as the real program meets them: devices, fifos and links where a
// file is expected, a disk that fills up, signals in the middle of a run.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tarva_process.h"
#include "tarva_terminal.h"

namespace tarva {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

using testing_support::ProcessOptions;
using testing_support::ProcessRun;

constexpr const char* kSmallData = "Small test\nX\nY\n5 1\n0\n1\n0\n1 2 0.5\n2 3 0.5\n3 5 0.5\n4 4 0.5\n";

class FileSafety : public testing_support::TarvaProcess {
protected:
    // Whether a PostScript file got its ending.
    bool finished_postscript(const std::string& name) const {
        const std::string ps = contents(name);
        return ps.size() > 20 && ps.substr(ps.size() - 13) == " showpage \n\x04\n";
    }
};

// Macro files (the login macro too), help files, the counter files and the
// log are opened only when they are regular files (or, for the log, a
// terminal or the null device): a fifo would block in open and /dev/zero
// would read for ever.
TEST_F(FileSafety, OnlyRegularFilesAreRead) {
    fifo("login.qvc");
    link("z.qvc", "/dev/zero");
    fifo("f.qvc");
    link("tarva.hlp", "/dev/zero");
    fifo("qvfun.hlp");
    fifo("qvm.ps");
    link("hpqvm.hgl", "/dev/zero");
    fifo("log");
    link("null.log", "/dev/null");
    file("small.fit", kSmallData);
    ProcessOptions o;
    o.deadline_seconds = 10;
    const ProcessRun r = run("@z\n@f\nz\nhelp draw\nhelp/f 5\necho/d log\n"
                             "data small\ndraw/q\ndraw/h\necho/d null.log\nf?\nexit\n",
                             o);
    ASSERT_FALSE(r.timed_out) << r.out;
    EXPECT_TRUE(r.exited_with(0));
    EXPECT_THAT(r.out, HasSubstr("     Executing the login macro: login.qvc\n\n ? Error opening login.qvc .\n"));
    EXPECT_THAT(r.out, HasSubstr(" fit>  ? Error opening z.qvc .\n fit>  ? Error opening f.qvc .\n"));
    EXPECT_THAT(r.out, HasSubstr("     Executing the login macro: z.qvc\n\n ? Error opening z.qvc .\n"));
    EXPECT_THAT(r.out, HasSubstr(" fit>  Error opening " + path("tarva.hlp") + "\n"));
    EXPECT_THAT(r.out, HasSubstr(" Can't find " + path("qvfun.hlp")));
    EXPECT_THAT(r.out, HasSubstr(" Unable to open and write to log for output.\n\n"));
    // The counter files could not be read: numbering starts from memory and
    // the device files are left alone.
    EXPECT_THAT(r.out, HasSubstr(" Plot written to: plt01.ps\n"));
    EXPECT_THAT(r.out, HasSubstr(" Error updating run number in hprun.hgl\n Opening HP-GL plot file: H1.hgl\n"));
    // Logging to the null device silences what follows.
    EXPECT_THAT(r.out, Not(HasSubstr("null.log")));
    EXPECT_THAT(r.out, Not(HasSubstr("Data file: small.fit")));
}

// The X-ray line database too is read only from a regular file: a
// directory, a device, a fifo or a file that cannot be read gives the
// database's message and no lines, never an abort, an endless read or a
// blocked open.
TEST_F(FileSafety, TheXrayLineDatabaseIsReadOnlyFromARegularFile) {
    const std::string db = path("xraylines.dat");
    std::vector<std::pair<std::string, std::function<void()>>> kinds = {
        {"directory", [&] { std::filesystem::create_directory(db); }},
        {"/dev/zero", [&] { link("xraylines.dat", "/dev/zero"); }},
        {"fifo", [&] { fifo("xraylines.dat"); }},
    };
    if (::geteuid() != 0) // root reads any file
        kinds.push_back({"unreadable", [&] {
                             file("xraylines.dat", "FE K   1    0\n  6.404  1.000\n");
                             std::filesystem::permissions(db, std::filesystem::perms::none);
                         }});
    for (const auto& [kind, make] : kinds) {
        std::filesystem::remove_all(db);
        make();
        ProcessOptions o;
        o.deadline_seconds = 5;
        const ProcessRun r = run("xray\nfe k\nexit\n", o);
        ASSERT_FALSE(r.timed_out) << kind << r.out;
        EXPECT_TRUE(r.exited_with(0)) << kind << r.out << r.err;
        EXPECT_THAT(r.out,
                    HasSubstr(" Unable to open the x-ray line data base " + db + "; no x-ray lines are known.\n"))
            << kind;
        EXPECT_THAT(r.out, HasSubstr("No. lines:  0\n")) << kind;
    }
}

// Temporary files of the checked writer left in the directory.
std::vector<std::string> temporaries(const std::string& dir) {
    std::vector<std::string> found;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        if (e.path().filename().string().find(".tmp") != std::string::npos) found.push_back(e.path().filename());
    return found;
}

// A disk that fills up: every writer says that the data did not reach it,
// nothing claims success, files that replace older ones keep the older
// ones, and no temporary file is left behind.
TEST_F(FileSafety, FullDiskIsNeverReportedAsSuccess) {
    file("small.fit", kSmallData);
    file("qvm.ps", " 7\n");
    file("TARVA.AGP", "old map\n");
    file("RES.lis", "old listing\n");
    ProcessOptions o;
    o.file_size_limit = 512;
    const ProcessRun r = run("data small\nnpar 8\ndraw/q\nclose\ndraw/h\nclose\n"
                             "agp\n\n1 2\n0 1\n0 1\n\nparam/a res\necho/d\nmenu\nf?\nexit\n",
                             o);
    ASSERT_TRUE(r.exited_with(0)) << r.out << r.err;
    // The plot files fill up during their first picture: said there and at
    // CLOSE, never "closed".
    EXPECT_THAT(r.out, HasSubstr(" Plot written to: plt08.ps\n"));
    const std::string ps_failed = " Unable to write plt08.ps completely... plot file incomplete.\n";
    EXPECT_THAT(r.out, HasSubstr(ps_failed + " fit> " + ps_failed));
    EXPECT_THAT(r.out, Not(HasSubstr("file closed")));
    const std::string hpgl_failed = " Unable to write H1.hgl completely... plot file incomplete.\n";
    EXPECT_THAT(r.out, HasSubstr(hpgl_failed + " fit> " + hpgl_failed));
    EXPECT_THAT(r.out, Not(HasSubstr("HP-GL plot file closed")));
    EXPECT_EQ(contents("qvm.ps"), " 8\n"); // small enough to fit
    // The map and the listing keep their older files; the listing is shown.
    EXPECT_THAT(r.out, HasSubstr(" ?QVAGP - Unable to write TARVA.AGP\n"));
    EXPECT_EQ(contents("TARVA.AGP"), "old map\n");
    EXPECT_THAT(r.out, HasSubstr(" Unable to write RES.lis completely... listing follows here.\n"));
    EXPECT_THAT(r.out, HasSubstr(" Reduced chi-squared = "));
    EXPECT_EQ(contents("RES.lis"), "old listing\n");
    // The log gives up and output returns to the terminal.
    EXPECT_THAT(
        r.out,
        HasSubstr("  27 Unable to open and write to tarva.log for output.\n\n fit>  Data file: small.fit\n fit> "));
    EXPECT_TRUE(temporaries(path("")).empty());
}

// A terminal destination that DEST pointed at a file on a full disk: each
// picture that lost bytes says so, and so does the close at the end; the
// program goes on with the next commands.
TEST_F(FileSafety, FullDiskUnderTheTerminalDestinationIsSaid) {
    file("small.fit", kSmallData);
    ProcessOptions o;
    o.file_size_limit = 1000;
    const ProcessRun r = run("termin 1\ndest plot.tek\ndata small\ndraw\ndraw\nfval 2\nexit\n", o);
    ASSERT_TRUE(r.exited_with(0)) << r.out << r.err;
    EXPECT_THAT(r.out, HasSubstr(" Destination for plot set to: plot.tek\n"));
    const std::string failed = " Unable to write plot.tek completely... plot file incomplete.\n";
    EXPECT_THAT(r.out, HasSubstr(" fit> " + failed + " fit> " + failed + " fit>  FOR X =    2.0"));
    EXPECT_EQ(r.out.substr(r.out.size() - failed.size()), failed) << r.out;
    EXPECT_EQ(contents("plot.tek").size(), 1000u);
}

// Nothing at all can be written: the counter files keep their numbers (an
// empty counter would restart the numbering and overwrite plt01.ps), no
// picture is announced that has no file, and the writers that replace a
// file keep the old one.
TEST_F(FileSafety, CounterFilesSurviveAFullDisk) {
    file("small.fit", kSmallData);
    file("qvm.ps", " 7\n");
    file("hpqvm.hgl", "   12\n");
    file("mac.qvc", "old\n");
    ProcessOptions o;
    o.file_size_limit = 1; // not even a counter fits
    const ProcessRun r = run("data small\ndraw/q\ndraw/h\nsave kept\nmca/s counts\nout mac\nexit\n", o);
    ASSERT_TRUE(r.exited_with(0)) << r.out << r.err;
    EXPECT_THAT(r.out, HasSubstr(" Unable to write kept.fit completely... data not saved.\n"));
    EXPECT_THAT(r.out, HasSubstr(" Unable to write counts.mca completely... spectrum not saved.\a\n"));
    EXPECT_THAT(r.out, HasSubstr(" Unable to write mac.qvc, macro file not changed.\n"));
    EXPECT_EQ(contents("mac.qvc"), "old\n");
    EXPECT_FALSE(exists("kept.fit"));
    EXPECT_EQ(contents("qvm.ps"), " 7\n");
    EXPECT_EQ(contents("hpqvm.hgl"), "   12\n");
    EXPECT_THAT(r.out, HasSubstr(" Unable to write plt01.ps completely... plot file incomplete.\n"));
    EXPECT_THAT(r.out, Not(HasSubstr("Plot written to")));
    EXPECT_THAT(r.out, HasSubstr(" Error updating run number in hprun.hgl\n Opening HP-GL plot file: H1.hgl\n"));
    EXPECT_THAT(r.out, Not(HasSubstr("Making a plot")));
    EXPECT_TRUE(temporaries(path("")).empty());
}

// Files that cannot be opened: only what happened is said, a listing that
// goes to the terminal says so, and AGP keeps its old map when its
// questions are abandoned.
TEST_F(FileSafety, UnopenableFilesAreSaidAndOldFilesKept) {
    file("small.fit", kSmallData);
    ASSERT_TRUE(std::filesystem::create_directory(path("plt01.ps")));
    file("TARVA.AGP", "old map\n");
    const ProcessRun r = run("data small\ndraw/q\nparam/a nodir/x\nnpar 2\nagp\n\n1 2\n", {});
    ASSERT_TRUE(r.exited_with(0)) << r.out << r.err;
    EXPECT_THAT(r.out, HasSubstr(" Unable to open plt01.ps for output.\n fit> "));
    EXPECT_THAT(r.out, Not(HasSubstr("Plot written to")));
    EXPECT_THAT(r.out,
                HasSubstr(" Unable to open NODIR/X.lis for output... listing follows here.\n\n\n Function fitted:\n"));
    EXPECT_EQ(contents("TARVA.AGP"), "old map\n");
    EXPECT_TRUE(temporaries(path("")).empty());
}

// SIGHUP (the terminal closed) ends the run as SIGTERM does: the handler
// only sets the flag, the program leaves its wait for input and gives the
// open plot file its ending.
TEST_F(FileSafety, HangupAndTerminationFinishThePlotFile) {
    file("small.fit", kSmallData);
    int number = 0;
    for (int sig : {SIGHUP, SIGTERM}) {
        ProcessOptions o;
        o.signal = sig;
        o.signal_at_prompt = 3; // waiting for the line after DRAW/Q
        const ProcessRun r = run("data small\ndraw/q\n", o);
        EXPECT_TRUE(r.exited_with(1)) << sig << r.err;
        EXPECT_NE(r.err.find("Killed\n"), std::string::npos) << r.err;
        const std::string name = "plt0" + std::to_string(++number) + ".ps";
        EXPECT_THAT(r.out, HasSubstr(" " + name + " file closed.\n"));
        EXPECT_TRUE(finished_postscript(name));
    }
}

// The same at a terminal, where readline edits the line: a signal while a
// line is half typed ends the run at once, without waiting for Enter, and
// the plot file gets its ending.
TEST_F(FileSafety, SignalsAtTheTerminalPromptEndTheRunAtOnce) {
    file("small.fit", kSmallData);
    int number = 0;
    for (auto [sig, name] : {std::pair{SIGINT, "Interrupt"}, {SIGTERM, "Killed"}, {SIGHUP, "Killed"}}) {
        testing_support::TerminalOptions o;
        o.keys = {"data small\r", "draw/q\r", "fval 1"};
        o.signal = sig;
        o.deadline = std::chrono::seconds(3);
        const testing_support::TerminalRun r = testing_support::run_at_terminal(path(""), o);
        if (r.no_terminal && !std::getenv("CI")) GTEST_SKIP() << "no pseudo-terminal on this machine";
        EXPECT_TRUE(r.exited_with(1)) << sig << r.seen;
        EXPECT_NE(r.seen.find(std::string(name) + "\r\n"), std::string::npos) << r.seen;
        EXPECT_EQ(r.seen.find("FOR X"), std::string::npos) << r.seen; // the half-typed line is not run
        const std::string plot = "plt0" + std::to_string(++number) + ".ps";
        EXPECT_NE(r.seen.find(plot + " file closed."), std::string::npos) << r.seen;
        EXPECT_TRUE(finished_postscript(plot));
    }
}

// The noise data with another function and its starting values in place
// of lines 4 to 6.
std::string noise_data(const std::string& function_lines) {
    const std::string noise =
        testing_support::read_file(std::string(TARVA_SOURCE_DIR) + "/tests/data/long_fits/noise1024.fit");
    std::size_t head = 0;
    for (int line = 0; line < 3; ++line) head = noise.find('\n', head) + 1;
    std::size_t rest = head;
    for (int line = 0; line < 3; ++line) rest = noise.find('\n', rest) + 1;
    return noise.substr(0, head) + function_lines + noise.substr(rest);
}

// Long computations (a fit of many iterations, FIT/C, a large AGP map) stop
// at the first signal between two steps instead of running to their end:
// the run ends within moments, the open plot file gets its ending, and a
// map that was not finished leaves the old one and no temporary file.
TEST_F(FileSafety, LongComputationsStopAtTheFirstSignal) {
    // Fitting two periods to 1024 points of noise in mode 2 takes some
    // 4900 iterations; the converging fit of sixteen wide Gaussians to the
    // noise some 8000; the map a thousand rows of a thousand chi-squares.
    file("noise.fit", noise_data(" 29 7\n 0. 0. 0. 1. 37. 1. 53.\n 1 1 1 1 1 1 1\n"));
    std::string peaks = " 18 50\n 0. 0.";
    for (int k = 0; k < 16; ++k) peaks += " 1. " + std::to_string(30 + 60 * k) + ". 20.";
    peaks += "\n";
    for (int k = 0; k < 50; ++k) peaks += " 1";
    file("peaks.fit", noise_data(peaks + "\n"));
    file("TARVA.AGP", "old map\n");
    struct Case {
        std::string data, mode, command, said;
    };
    const Case cases[] = {
        {"noise", "2", "fit 1000000\n", " Fit stopped by a signal.\n Final CHI**2 = "},
        {"peaks", "1", "fit/c 1000000000\n", " NOT converged: stopped by a signal.\n Final CHI**2 = "},
        {"noise", "1", "agp\n\n1 2\n0 1\n30 40\n1000 1000\n", " ?QVAGP - Stopped by a signal: TARVA.AGP not changed\n"},
    };
    int number = 0;
    for (const Case& c : cases) {
        ProcessOptions o;
        o.signal = SIGTERM;
        o.signal_at_prompt = 4; // the plot file is open, the program waits
        o.late_input = c.command;
        o.signal_delay_ms = 200;
        const ProcessRun r = run("data " + c.data + "\nmode " + c.mode + "\ndraw/q\n", o);
        EXPECT_TRUE(r.exited_with(1)) << c.command << r.out << r.err;
        EXPECT_LT(r.seconds_after_signal, 2.0) << c.command;
        EXPECT_NE(r.err.find("Killed\n"), std::string::npos) << r.err;
        EXPECT_THAT(r.out, HasSubstr(c.said));
        const std::string plot = "plt0" + std::to_string(++number) + ".ps";
        EXPECT_THAT(r.out, HasSubstr(" " + plot + " file closed.\n"));
        EXPECT_TRUE(finished_postscript(plot));
    }
    EXPECT_EQ(contents("TARVA.AGP"), "old map\n");
    EXPECT_TRUE(temporaries(path("")).empty());
}

// A signal while a dialogue holds a temporary file (AGP's map) leaves no
// temporary file and the old map as it was.
TEST_F(FileSafety, SignalDuringADialogueLeavesNoTemporaryFile) {
    file("small.fit", kSmallData);
    file("TARVA.AGP", "old map\n");
    ProcessOptions o;
    o.signal = SIGINT;
    o.signal_text = "Parameter numbers for plot (I1,I2) > ";
    const ProcessRun r = run("data small\nnpar 2\nagp\n\n", o);
    EXPECT_TRUE(r.exited_with(1)) << r.out << r.err;
    EXPECT_NE(r.err.find("Interrupt\n"), std::string::npos) << r.err;
    EXPECT_EQ(contents("TARVA.AGP"), "old map\n");
    EXPECT_TRUE(temporaries(path("")).empty());
}

} // namespace
} // namespace tarva
