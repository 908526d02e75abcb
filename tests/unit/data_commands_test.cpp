// DATA, LOAD, MAKE and SAVE as the user meets them: names, prompts,
// defaults and failure reports, in a scratch directory.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "command_fixture.h"

namespace tarva {
namespace {

using testing_support::read_file;
using testing_support::write_file;

namespace fs = std::filesystem;

struct DataCommands : testing_support::ScratchCommandFixture {
    // DATA, LOAD and MAKE report a failed read through the numeric argument.
    bool failed() const { return last.number == 1.0; }
};

const std::string kFile = "Cap\nX\nY\n 2 3\n 1. 0. 2.\n 1 1 1\n 0\n 1 2 0\n 2 4 0\n";

TEST_F(DataCommands, SaveDefaultNamesFollowTheCurrentFile) {
    write_file("run7.dat", "1 2 3\n");
    run("MAKE/3 run7.dat");
    EXPECT_EQ(run("SAVE", "\n"), " Filename for output (CR for run7.fit) >  Data saved in file run7.fit\n\n");
    write_file("run8", "1 2 3\n");
    run("MAKE/3 run8");
    EXPECT_EQ(run("SAVE", "other\n"), " Filename for output (CR for run8.fit) >  Data saved in file other.fit\n\n");
    EXPECT_EQ(s.data.file_name.trimmed(), "other.fit");
    s.data.file_name = "";
    EXPECT_EQ(run("SAVE", "\n"), " Filename for output >  No default data file name.\n\n");
    EXPECT_EQ(run("SAVE", ""), " Filename for output > "); // input ended: silently
}

TEST_F(DataCommands, SaveThatCannotWriteChangesNothing) {
    write_file("a.fit", kFile);
    run("DATA a");
    ASSERT_FALSE(failed());
    fs::create_directory("taken.fit");
    EXPECT_EQ(run("SAVE taken"), " Unable to open taken.fit for output... data not saved.\n\n");
    EXPECT_EQ(s.data.file_name.trimmed(), "a.fit");
    s.data.dimensions = 4;
    EXPECT_EQ(run("SAVE nodir/x.fit"), " Unable to open nodir/x.fit for output... data not saved.\n\n");
    EXPECT_EQ(s.data.dimensions, 4); // no warnings, nothing reset
    EXPECT_EQ(s.data.file_name.trimmed(), "a.fit");
    EXPECT_EQ(read_file("a.fit"), kFile);
}

TEST_F(DataCommands, SaveWithoutPoints) {
    EXPECT_EQ(run("SAVE x"), " No data!\x07\n");
    EXPECT_FALSE(fs::exists("x.fit"));
}

TEST_F(DataCommands, DataRoundTripKeepsParametersBitForBit) {
    write_file("a.fit", kFile);
    run("DATA a");
    s.fit.value[0] = 0.1 + 0.2;
    s.fit.value[1] = -1.0 / 7.0;
    s.fit.value[2] = 6.02214076e23;
    s.data.log_y = s.data.log_scale_y = 1;
    run("SAVE b");
    const auto before = s.fit.value;
    s.fit.value.fill(0.0);
    s.data.log_y = s.data.log_scale_y = 0;
    run("DATA b");
    ASSERT_FALSE(failed());
    EXPECT_EQ(s.fit.value, before);
    EXPECT_EQ(s.data.log_y, 1);
    EXPECT_EQ(s.data.log_scale_y, 1);
    EXPECT_EQ(s.data.count, 2);
}

TEST_F(DataCommands, QualifiedDataKeepsTheCurrentName) {
    write_file("a.fit", kFile);
    write_file("b.fit", kFile);
    run("DATA a");
    s.data.spectrum_loaded = 1;
    EXPECT_EQ(run("DATA/+ b"), " Reading new data from: b.fit\n Adding new data file to old.\n");
    EXPECT_EQ(s.data.file_name.trimmed(), "a.fit");
    EXPECT_EQ(s.data.Y[1], 8.0f);
    EXPECT_EQ(s.data.spectrum_loaded, 0);
}

TEST_F(DataCommands, DataNamePromptAndFailures) {
    EXPECT_EQ(run("DATA", "\n"), " Filename for input > ");
    EXPECT_TRUE(failed());
    write_file("a.fit", kFile);
    run("DATA a");
    EXPECT_EQ(run("DATA ?", "\n").rfind(" Filename for input (a.fit) >  Reading new data from: a.fit\n", 0), 0u);
    EXPECT_FALSE(failed());
    EXPECT_EQ(run("DATA zz"), " zz.fit does not exist.\n");
    EXPECT_TRUE(failed());
    // The numeric argument is cleared on entry: success reads as 0.
    write_file("5.0000", kFile);
    run("DATA 5");
    EXPECT_FALSE(failed());
    // Input that ends inside the prompt is no failure of the file.
    run("DATA", "");
    EXPECT_FALSE(failed());
}

TEST_F(DataCommands, QuestionMarkAsksAtTheTerminalUnderALogFile) {
    write_file("a.fit", kFile);
    ASSERT_TRUE(s.out().open_log("session.log"));
    const std::string screen = run("DATA ?", "a\n");
    s.out().close_log();
    EXPECT_EQ(screen, " Filename for input > ");
    const std::string log = read_file("session.log");
    EXPECT_EQ(log.find("Filename for input"), std::string::npos);
    EXPECT_EQ(log.rfind(" Reading new data from: a.fit\n", 0), 0u);
    EXPECT_FALSE(failed());
}

TEST_F(DataCommands, SpectrumNamesGoToTheSpectrumReader) {
    const std::string out = run("DATA run3.MCA");
    EXPECT_TRUE(failed());
    EXPECT_EQ(out.find("Reading new data"), std::string::npos);
    for (const char* name : {"a&b", "x.rbs", "*.pix", "y.PIX", "z.RBS"}) {
        EXPECT_EQ(run(std::string("DATA ") + name).find("does not exist"), std::string::npos) << name;
        EXPECT_TRUE(failed()) << name;
    }
    // Other cases of the extension are ordinary data file names.
    EXPECT_EQ(run("DATA w.Mca"), " w.Mca does not exist.\n");
}

TEST_F(DataCommands, LoadColumnAndPrompt) {
    write_file("t.d", "c\nx\ny\n1 5 6\n2 7 8\n");
    // The column comes from the number, so the file name is asked for.
    EXPECT_EQ(run("LOAD/A 2", "t\n").substr(0, 59), " Filename for input >  Reading data in column  2 from: t.d\n");
    EXPECT_EQ(s.data.Y[1], 8.0f);
    // A: always asked, whatever is on the line; the answer names the file.
    write_file("u.d", "c\nx\ny\n1 5 6\n");
    const std::string out = run("LOAD/A t", "u\n");
    EXPECT_EQ(out.rfind(" Filename for input (t.d) >  Reading data in column  1 from: u.d\n", 0), 0u);
    EXPECT_EQ(s.data.count, 1);
    EXPECT_EQ(s.data.file_name.trimmed(), "u.d");
    EXPECT_EQ(run("LOAD 21"), " Column number must be between 1 and 20.\n");
    EXPECT_TRUE(failed());
    EXPECT_EQ(s.data.count, 1);
}

TEST_F(DataCommands, MakeAsksAgainWhenItCannotOpen) {
    write_file("good.txt", "5\n6\n");
    const std::string out = run("MAKE/1 bad.txt", "good.txt\n");
    EXPECT_EQ(out, " ?QVMAKE- Can't open file bad.txt\n Filename for input >     2 points in data file.\n\n");
    EXPECT_EQ(s.data.file_name.trimmed(), "good.txt");
    EXPECT_EQ(s.data.caption.trimmed(), "good");
    EXPECT_EQ(run("MAKE", "\n"), " Filename of data points > ");
    EXPECT_EQ(s.data.count, 2);
    fs::create_directory("adir");
    EXPECT_EQ(run("MAKE/1 adir", "\n"), " ?QVMAKE- Can't open file adir\n Filename for input > ");
}

TEST_F(DataCommands, MakeMenuAnswerChoosesTheLayout) {
    write_file("v.txt", "1 2 99\n3 4\n"); // two values a record, more ignored
    const std::string out = run("MAKE v.txt", "-2\n");
    EXPECT_NE(out.find(" Number of dimensions (CR for 3) >     4 points in data file."), std::string::npos);
    EXPECT_EQ(s.data.count, 4);
    EXPECT_EQ(s.data.X[3], 4.0f);
    EXPECT_EQ(s.data.Y[3], 4.0f);
    write_file("e.txt", "");
    run("MAKE/2 e.txt");
    EXPECT_TRUE(failed());
}

} // namespace
} // namespace tarva
