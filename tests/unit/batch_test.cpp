// tarva --batch and --merge-tables through the real binary, over a handful
// of generated spectra: the table in the order given with its status words,
// each value as the same macro prints it in an interactive run, the
// partial tables of a split list merged into the whole one, and the
// arguments that cannot make a run.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "batch/batch_table.h"
#include "tarva_process.h"
#include "tarva_terminal.h"
#include "text/format.h"

namespace tarva {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;
using testing_support::ProcessOptions;
using testing_support::ProcessRun;

// Two Gaussians on a sloping background, 100 points with their errors,
// noise from a fixed sequence: every file its own heights and centres.
std::string spectrum(int k) {
    std::ostringstream text;
    unsigned seed = 12345u + static_cast<unsigned>(k) * 7919u;
    for (int i = 0; i < 100; ++i) {
        const double x = i;
        auto g = [&](double h, double c, double w) {
            return h * std::exp(-4 * std::log(2.0) * (x - c) * (x - c) / (w * w));
        };
        double y = 12 + 0.05 * x + g(100 + 15 * k, 30.5 + 0.3 * k, 8.3) + g(60 - 5 * k, 65 - 0.4 * k, 10.2);
        seed = seed * 1103515245u + 12345u;
        const double u = static_cast<double>((seed >> 8) & 0xffff) / 65535.0 - 0.5;
        const double sigma = std::sqrt(y);
        y += 2 * u * sigma;
        text << i << " " << y << " " << sigma << "\n";
    }
    return text.str();
}

const char* const kMacro = "MAKE/3 ~\n"
                           "FUNCT 18\n"
                           "NPAR 8\n"
                           "PARAM\n"
                           "10\n0\n100\n30\n8\n60\n65\n10\n"
                           "MASK/1\n"
                           "$ [ ~ = s.dat ] && sleep 9\n"
                           "FIT/C\n";

std::vector<std::vector<std::string>> table_of(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) rows.push_back(csv_split(line));
    return rows;
}

std::string g13(const std::string& number) { return std::string(trim(format_G(std::stod(number), 13, 5, 1))); }

class Batch : public testing_support::TarvaProcess {
protected:
    void SetUp() override {
        file("twog.qvc", kMacro);
        for (int k = 1; k <= 4; ++k) file("a" + std::to_string(k) + ".dat", spectrum(k));
        file("s.dat", spectrum(5));
        file("garbage.dat", "this is no table\nof numbers\n");
    }
    ProcessRun batch(std::vector<std::string> args) const {
        ProcessOptions o;
        o.args = std::move(args);
        return run("", o);
    }
};

// The values of a row against what the macro prints when it is started by
// name in an interactive run with the same file.
void expect_row_as_printed(const Batch& b, const std::vector<std::string>& row, const ProcessRun& interactive) {
    std::map<int, std::vector<std::string>> printed; // slot: name, value, error
    std::string chi, iterations;
    std::istringstream in(interactive.out);
    for (std::string line; std::getline(in, line);) {
        // Each line begins with its carriage-control blank.
        if (!line.empty() && line[0] == ' ') line.erase(0, 1);
        if (const auto e = line.find("     error = "); e != std::string::npos && line.size() > 3) {
            const auto eq = line.find(" = ");
            printed[std::stoi(line.substr(0, 2))] = {std::string(trim(line.substr(3, eq - 3))),
                                                     std::string(trim(line.substr(eq + 3, e - eq - 3))),
                                                     std::string(trim(line.substr(e + 13)))};
        } else if (line.rfind("Final CHI**2 = ", 0) == 0) {
            chi = trim(line.substr(15));
        } else if (line.rfind("After ", 0) == 0) {
            iterations = trim(line.substr(6, 8));
        }
    }
    (void)b;
    ASSERT_EQ(printed.size(), 8u) << interactive.out;
    EXPECT_EQ(g13(row[4]), chi) << row[0];
    EXPECT_EQ(row[5], iterations) << row[0];
    EXPECT_EQ(row[3], "100");
    for (int k = 1; k <= 8; ++k) {
        const std::size_t c = kFixedColumns + 3 * static_cast<std::size_t>(k - 1);
        EXPECT_EQ(row[c], printed[k][0]) << row[0] << " parameter " << k;
        EXPECT_EQ(g13(row[c + 1]), printed[k][1]) << row[0] << " parameter " << k;
        EXPECT_EQ(g13(row[c + 2]), printed[k][2]) << row[0] << " parameter " << k;
    }
}

TEST_F(Batch, TableInTheGivenOrderWithValuesAsPrintedInteractively) {
    const ProcessRun r =
        batch({"--batch", "twog.qvc", "-j", "2", "--timeout", "1.5", "--table", "res.csv", "--logs", "logs", "a1.dat",
               "garbage.dat", "a2.dat", "missing.dat", "s.dat", "a3.dat", "a2.dat", "a4.dat"});
    ASSERT_FALSE(r.timed_out);
    EXPECT_TRUE(r.exited_with(1)) << r.err; // some files failed
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "") << "no progress line when standard error is no terminal";
    const auto rows = table_of(contents("res.csv"));
    ASSERT_EQ(rows.size(), 9u) << contents("res.csv");
    EXPECT_EQ(rows[0][0], "file");
    EXPECT_EQ(rows[0].back(), "error_8");
    const std::vector<std::pair<std::string, std::string>> expected{
        {"a1.dat", "ok"},
        {"garbage.dat", "unreadable file"},
        {"a2.dat", "ok"},
        {"missing.dat", "unreadable file: No such file or directory"},
        {"s.dat", "time-out after 1.5 s"},
        {"a3.dat", "ok"},
        {"a2.dat", "duplicate of file 3: not run again"},
        {"a4.dat", "ok"}};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const auto& row = rows[i + 1];
        EXPECT_EQ(row.size(), rows[0].size()) << "row " << i + 1;
        EXPECT_EQ(row[0], expected[i].first);
        EXPECT_EQ(row[1], expected[i].second) << row[0];
        if (row[1] != "ok") {
            EXPECT_EQ(row[2], "") << row[0] << ": no fit, no values";
            continue;
        }
        EXPECT_EQ(row[2], "18");
        EXPECT_THAT(row[6], StartsWith("converged"));
        ProcessOptions o;
        const ProcessRun interactive = run("twog " + row[0] + "\n", o);
        expect_row_as_printed(*this, row, interactive);
    }
    // Each file run wrote its own log; the terminal's output went there.
    EXPECT_THAT(contents("logs/a3.dat.log"), HasSubstr("Final CHI**2 ="));
    EXPECT_THAT(contents("logs/garbage.dat.log"), HasSubstr("fit> "));
}

TEST_F(Batch, PartialTablesOfASplitListMergeIntoTheWholeTable) {
    const std::vector<std::string> files{"a1.dat", "garbage.dat", "a2.dat", "missing.dat", "a3.dat"};
    std::vector<std::string> whole_args{"--batch", "twog", "-j1", "--table=-"};
    whole_args.insert(whole_args.end(), files.begin(), files.end());
    const ProcessRun whole = batch(whole_args);
    EXPECT_TRUE(whole.exited_with(1)) << whole.err;
    ASSERT_THAT(whole.out, StartsWith("file,status,function,points,reduced_chi_square,iterations,stop,name_1,"));
    // Three tasks, as a job array runs them, each on its share of the list.
    std::vector<std::string> parts;
    for (int k = 0; k < 3; ++k) {
        const std::string part = "part" + std::to_string(k);
        std::vector<std::string> args{"--batch", "twog.qvc", "--share", std::to_string(k) + "/3", "--table-part", part};
        args.insert(args.end(), files.begin(), files.end());
        batch(args);
        EXPECT_THAT(contents(part), Not(HasSubstr("file,status"))) << "a part has no header";
        parts.push_back(part);
    }
    std::vector<std::string> merge_args{"--merge-tables", "--table", "merged.csv"};
    merge_args.insert(merge_args.end(), parts.begin(), parts.end());
    const ProcessRun merged = batch(merge_args);
    EXPECT_TRUE(merged.exited_with(0)) << merged.err;
    EXPECT_EQ(contents("merged.csv"), whole.out);
}

TEST_F(Batch, StatusOfAMacroThatFailsOrDoesNotConverge) {
    const std::vector<std::pair<std::string, std::string>> cases{
        {"MAKE/3 ~\nFUNCT 18\nNPAR 8\nPARAM\n10\n0\n100\n30\n8\n60\n65\n10\nFIT/C 2\n", "fit not converged"},
        {"MAKE/3 ~\nFUNCT 18\nNPAR 8\nPARAM\n10\n0\n", "macro error: a prompt was not answered"},
        {"MAKE/3 ~\nFITT\n", "macro error: unknown command FITT"}};
    for (const auto& [macro, status] : cases) {
        file("m.qvc", macro);
        const ProcessRun r = batch({"--batch", "m.qvc", "a1.dat"});
        EXPECT_TRUE(r.exited_with(1)) << r.err;
        const auto rows = table_of(r.out);
        ASSERT_EQ(rows.size(), 2u) << r.out;
        EXPECT_EQ(rows[1][1], status) << macro;
    }
}

TEST_F(Batch, SigtermStopsTheRunningFileAndTheTableSaysWhatWasNotRun) {
    ProcessOptions o;
    o.args = {"--batch", "twog.qvc", "-j", "1", "--table", "res.csv", "a1.dat", "s.dat", "a2.dat", "a3.dat"};
    o.signal = SIGTERM;
    o.signal_at_prompt = 0; // at once, then the delay: s.dat is sleeping by then
    o.signal_delay_ms = 1500;
    const ProcessRun r = run("", o);
    ASSERT_FALSE(r.timed_out);
    EXPECT_TRUE(r.exited_with(1)) << r.err;
    EXPECT_LT(r.seconds_after_signal, 4.0) << "the sleeping file was not stopped";
    EXPECT_THAT(r.err, HasSubstr("the batch was stopped; 2 file(s) not run"));
    const auto rows = table_of(contents("res.csv"));
    ASSERT_EQ(rows.size(), 5u) << contents("res.csv");
    EXPECT_EQ(rows[1][1], "ok");
    EXPECT_EQ(rows[2][1], "stopped");
    EXPECT_EQ(rows[3][1], "not run: the batch was stopped");
    EXPECT_EQ(rows[4][1], "not run: the batch was stopped");
}

TEST_F(Batch, ProgressLineOnATerminal) {
    testing_support::TerminalOptions o;
    o.args = {"--batch", "twog.qvc", "--table", "res.csv", "a1.dat", "a2.dat", "missing.dat"};
    const testing_support::TerminalRun r = testing_support::run_at_terminal(path(""), o);
    if (r.no_terminal) GTEST_SKIP() << "no pseudo-terminal";
    EXPECT_TRUE(r.exited_with(1)) << r.seen;
    // One line rewritten in place from the first count to the last, then
    // left with a line end; the table went to its file.
    EXPECT_THAT(r.seen, StartsWith("\r1/3 files, 1 failed   \r"));
    EXPECT_THAT(r.seen, HasSubstr("\r3/3 files, 1 failed, "));
    EXPECT_THAT(r.seen, HasSubstr(" files/s, 0:00 left   \r\n"));
    EXPECT_EQ(r.seen.find("file,status"), std::string::npos);
}

TEST_F(Batch, ArgumentsThatCannotMakeARunSaySo) {
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const std::vector<Case> cases{
        {{"--batch", "nothere.qvc", "a1.dat"}, "the macro file nothere.qvc does not exist"},
        {{"--batch", "twog.qvc"}, "--batch needs the files to run the macro on"},
        {{"--batch", "twog.qvc", "--table", "no/such/dir/t.csv", "a1.dat"}, "unable to open the table"},
        {{"--batch", "twog.qvc", "-j", "0", "a1.dat"}, "-j needs a number of workers"},
        {{"--batch", "twog.qvc", "--share", "3/3", "a1.dat"}, "--share needs K/N"},
        {{"--merge-tables", "garbage.dat"}, "garbage.dat, line 1: not a row of a results table"}};
    for (const Case& c : cases) {
        const ProcessRun r = batch(c.args);
        EXPECT_TRUE(r.exited_with(2)) << c.message;
        EXPECT_THAT(r.err, HasSubstr(c.message));
        EXPECT_EQ(r.out, "");
    }
}

} // namespace
} // namespace tarva
