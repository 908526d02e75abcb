// INSERT: the file dialogue (what it asks, what it writes, that DATA reads
// it back) and the immediate form on the last picture.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "command_fixture.h"
#include "commands/commands.h"
#include "graphics/drivers/recording_driver.h"
#include "session/session.h"

namespace tarva {
namespace {

namespace fs = std::filesystem;

struct InsertCommand : testing_support::ScratchCommandFixture {
    std::string insert(const std::string& argument, const std::string& answers) {
        return run("INSERT " + argument, answers);
    }
    // The command line as INSERT left it (the name it used).
    std::string last_line() const { return std::string(last.line.trimmed()); }
    // As if a picture had been drawn on the PostScript device.
    void picture_on_screen() {
        s.graphics.recorder = &rec;
        s.draw.picture_drawn = true;
        s.draw.last_device = 'Q';
        s.draw.old_xmin = 0.0f;
        s.draw.old_xmax = 10.0f;
        s.draw.old_ymin = 0.0f;
        s.draw.old_ymax = 100.0f;
    }
    RecordingDriver rec;
};

// Heading, labels, function 18 with 3 parameters, the usual way with errors.
const std::string kGauss = "Peak\nChannel\nCounts\n18\n3\n1.5\n1\n-2.25\n0\n100\n1\nn\ny\n3\n"
                           "1 10 3\n2 20 4.5\n3,15,4\nn\n";

TEST_F(InsertCommand, FileFormWritesTheDataFileAndTheDataSet) {
    const std::string out = insert("peak", kGauss);
    EXPECT_EQ(last_line(), "INSERT peak.fit");
    const std::string head =
        " New data going into file: peak.fit\n Heading (CR for none) >  X axis label (CR for none) > "
        " Y axis label (CR for none) >  Function number (CR for none, -1 for a list) > \n"
        " Linear + Gaussian (up to 16)";
    EXPECT_EQ(out.substr(0, head.size()), head);
    EXPECT_NE(out.find(" Value of parameter   1 Yintercept >   Mask of parameter   1 Yintercept > "),
              std::string::npos);
    EXPECT_NE(out.find(" Data point   3 X,Y,Yerr > "), std::string::npos);
    EXPECT_EQ(testing_support::read_file("peak.fit"),
              " Peak\n Channel\n Counts\n         18         3\n"
              "    1.5000    \n   -2.2500    \n    100.00    \n  1\n  0\n  1\n  0\n"
              "    1.0000    ,   10.000    ,   3.0000    \n"
              "    2.0000    ,   20.000    ,   4.5000    \n"
              "    3.0000    ,   15.000    ,   4.0000    \n");
    EXPECT_EQ(s.data.count, 3);
    EXPECT_EQ(s.data.caption.trimmed(), "Peak");
    EXPECT_EQ(s.data.file_name.trimmed(), "peak.fit");
    EXPECT_EQ(s.fit.function, 18);
    EXPECT_EQ(s.fit.nparams, 3);
    EXPECT_EQ(s.fit.value[1], -2.25);
    EXPECT_EQ(s.fit.mask[2], 1);
}

TEST_F(InsertCommand, DataReadsTheFileBackIntoTheSameState) {
    insert("peak", kGauss);
    Session& t = s;
    const DataSet typed = t.data;
    const auto values = t.fit.value;
    const auto masks = t.fit.mask;
    t.data.count = 0;
    t.data.caption = "other";
    t.fit.function = 5;
    const std::string out = run("DATA peak", "");
    // Each text line of the file starts with a blank column, which DATA keeps.
    EXPECT_NE(out.find(" Caption :  Peak\n"), std::string::npos) << out;
    EXPECT_EQ(t.data.count, typed.count);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(t.data.X[i], typed.X[i]);
        EXPECT_EQ(t.data.Y[i], typed.Y[i]);
        EXPECT_EQ(t.data.SIGMA[i], typed.SIGMA[i]);
    }
    EXPECT_EQ(t.data.caption.trimmed(), " " + std::string(typed.caption.trimmed()));
    EXPECT_EQ(t.data.x_label.trimmed(), " " + std::string(typed.x_label.trimmed()));
    EXPECT_EQ(t.data.y_label.trimmed(), " " + std::string(typed.y_label.trimmed()));
    EXPECT_EQ(t.fit.function, 18);
    EXPECT_EQ(t.fit.nparams, 3);
    EXPECT_EQ(t.fit.value, values);
    EXPECT_EQ(t.fit.mask, masks);
}

TEST_F(InsertCommand, FunctionFiveAsksNoParameters) {
    s.fit.value[0] = 7.0;
    s.fit.mask[0] = 1;
    const std::string out = insert("blank", "\n\n\n\nn\nn\n1\n4 5\nn\n");
    EXPECT_EQ(out.find("Number of parameters"), std::string::npos);
    EXPECT_NE(out.find("\n Blank function"), std::string::npos);
    EXPECT_NE(out.find(" Data point   1 X,Y > "), std::string::npos);
    // Texts left empty are written as one blank after the blank column.
    EXPECT_EQ(testing_support::read_file("blank.fit"), "  \n  \n  \n          5         1\n    0.0000    \n  0\n  0\n"
                                                       "    4.0000    ,   5.0000    ,   0.0000    \n");
}

TEST_F(InsertCommand, CatalogueListedOnRequest) {
    const std::string out = insert("f.fit", "\n\n\n-1\n5\nn\nn\n1\n0 0\nn\n");
    EXPECT_NE(out.find("list) > \n\n          Ifun - Function\n\n           1 - "), std::string::npos);
    EXPECT_NE(out.find("\n          36 - Unused"), std::string::npos);
    EXPECT_EQ(out.find("          37 - "), std::string::npos);
    EXPECT_EQ(s.fit.function, 5);
}

TEST_F(InsertCommand, IncrementsMakeTheXValues) {
    const std::string out = insert("inc", "\n\n\n5\ny\nn\n0 1 0.25\n1\n2\n3\n4\n5\nn\n");
    EXPECT_NE(out.find(" Initial X, Final X, X increment >  Data point   1 X,Y > 0.0, Data point   2 X,Y > 0.25000,"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find(" Data point   5 X,Y > 1.0000, Do you want"), std::string::npos) << out;
    ASSERT_EQ(s.data.count, 5);
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_FLOAT_EQ(s.data.X[i], 0.25f * static_cast<float>(i));
        EXPECT_FLOAT_EQ(s.data.Y[i], static_cast<float>(i + 1));
    }
}

TEST_F(InsertCommand, IncrementsWithErrorsAndDecreasingX) {
    insert("dec", "\n\n\n5\ny\ny\n2 1 -0.5\n10 1\n20 2\n30 3\nn\n");
    ASSERT_EQ(s.data.count, 3);
    EXPECT_FLOAT_EQ(s.data.X[2], 1.0f);
    EXPECT_FLOAT_EQ(s.data.SIGMA[1], 2.0f);
}

TEST_F(InsertCommand, IncrementThatMakesNoPointsIsAskedAgain) {
    const std::string out = insert("zero", "\n\n\n5\ny\nn\n0 1 0\n0 1 -1\n0 1 1\n7\n8\nn\n");
    const std::string again = " The increment must lead from the initial to the final X.\n";
    EXPECT_EQ(out.find(again + " Initial X, Final X, X increment > " + again), out.find(again)) << out;
    EXPECT_EQ(s.data.count, 2);
    EXPECT_FLOAT_EQ(s.data.Y[1], 8.0f);
}

TEST_F(InsertCommand, CorrectionsEditAndAppendPoints) {
    s.data.X[2] = 41.0f; // stale values beyond the points typed
    s.data.Y[2] = 42.0f;
    s.data.SIGMA[2] = 43.0f;
    const std::string out = insert("cor", "\n\n\n5\nn\nn\n2\n1 1\n2 2\ny\n1\n, 9\n1 9\n7\n5 6\n0\n");
    EXPECT_NE(out.find("    1: Old values      1.0000        1.0000        0.0000    \n New Values X, Y > "),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("    3: Old values      41.000        42.000        43.000    \n"), std::string::npos) << out;
    ASSERT_EQ(s.data.count, 3);
    EXPECT_FLOAT_EQ(s.data.Y[0], 9.0f); // ", 9" does not read and is asked again
    EXPECT_FLOAT_EQ(s.data.X[2], 5.0f);
    EXPECT_FLOAT_EQ(s.data.SIGMA[2], 0.0f);
    EXPECT_NE(testing_support::read_file("cor.fit").find("    5.0000    ,   6.0000    ,   0.0000    \n"),
              std::string::npos);
}

TEST_F(InsertCommand, BadAnswersAreAskedAgain) {
    insert("bad", "\n\n\nx\n5\nn\nn\nzero\n0\n2\n1\n1 x\n1 2\n3 4\nn\n");
    ASSERT_EQ(s.data.count, 2);
    EXPECT_FLOAT_EQ(s.data.Y[0], 2.0f);
    EXPECT_FLOAT_EQ(s.data.X[1], 3.0f);
}

TEST_F(InsertCommand, MoreThanTheCapacityIsRefused) {
    const std::string out = insert("big", "\n\n\n5\nn\nn\n1025\n1\n3 4\nn\n");
    EXPECT_NE(out.find(" The data set holds at most 1024 points.\n Number of data point pairs > "), std::string::npos);
    EXPECT_EQ(s.data.count, 1);
}

TEST_F(InsertCommand, ExistingFileKeptWhenNotToBeOverwritten) {
    std::ofstream("old.fit") << "keep\n";
    s.fit.value[0] = 3.0;
    EXPECT_EQ(insert("old", "N\n"), " old.fit already exists, overwrite? (Y or N) > ");
    EXPECT_EQ(testing_support::read_file("old.fit"), "keep\n");
    EXPECT_EQ(s.fit.value[0], 3.0);
}

TEST_F(InsertCommand, AbandonedDialogueLeavesTheOldFile) {
    std::ofstream("old.fit") << "keep\n";
    insert("old.fit", "y\nNew heading\n"); // the input ends at the X label
    EXPECT_EQ(testing_support::read_file("old.fit"), "keep\n");
    EXPECT_EQ(std::distance(fs::directory_iterator("."), fs::directory_iterator()), 1);
}

TEST_F(InsertCommand, NamePromptAndUnwritableFile) {
    EXPECT_EQ(insert("", "\n"), " Filename for output > ");
    s.fit.value[4] = 3.0;
    s.fit.error[4] = 1.0;
    s.data.file_name = "before.fit";
    EXPECT_EQ(insert("", "nodir/x\n"), " Filename for output >  Unable to open nodir/x.fit for output.\n\n");
    EXPECT_EQ(s.fit.value[4], 0.0);
    EXPECT_EQ(s.fit.error[4], 0.0);
    EXPECT_EQ(s.data.file_name.trimmed(), "before.fit");
}

TEST_F(InsertCommand, ImmediateFormNeedsAPicture) {
    s.data.count = 2;
    EXPECT_EQ(run("INSERT/I", "1 2\n"), " Unable to use immediate mode.\n");
    EXPECT_EQ(s.data.count, 2);
}

TEST_F(InsertCommand, ImmediateFormAppendsAndMarksEachPoint) {
    picture_on_screen();
    s.data.count = 1;
    const std::string out = run("INSERT/I S", "1 4\n2,9\nq\n");
    EXPECT_EQ(out, " Insert data in immediate mode, type Q to quit\n New (x,y) >  New (x,y) >  New (x,y) > "
                   " Type SAVE to save this data.\x07\n\n");
    ASSERT_EQ(s.data.count, 3);
    EXPECT_FLOAT_EQ(s.data.X[1], 1.0f);
    EXPECT_FLOAT_EQ(s.data.SIGMA[1], 2.0f);
    EXPECT_FLOAT_EQ(s.data.Y[2], 9.0f);
    EXPECT_FLOAT_EQ(s.data.SIGMA[2], 3.0f);
    // Each point drawn on the last device and the picture ended after it.
    EXPECT_EQ(rec.count(RecordedEvent::End), 2);
    ASSERT_FALSE(rec.events.empty());
    for (const auto& e : rec.events) EXPECT_EQ(e.device, 'Q');
    bool near_first = false;
    for (const auto& v : rec.vectors())
        near_first = near_first || (std::fabs(v.x - 1.0f) < 0.5f && std::fabs(v.y - 4.0f) < 5.0f);
    EXPECT_TRUE(near_first);
}

TEST_F(InsertCommand, ImmediateErrorsFromTheArgument) {
    picture_on_screen();
    run("INSERT/I 0.5", "3 -16\n\n");
    run("INSERT/I", "5 25\n");
    ASSERT_EQ(s.data.count, 3);
    EXPECT_FLOAT_EQ(s.data.SIGMA[0], 0.5f);
    EXPECT_FLOAT_EQ(s.data.X[1], 0.0f); // an empty answer is the point (0, 0)
    EXPECT_FLOAT_EQ(s.data.SIGMA[2], 0.0f);
}

TEST_F(InsertCommand, ImmediateFormStopsAtTheCapacity) {
    picture_on_screen();
    s.data.count = 1024;
    EXPECT_EQ(run("INSERT/I", "1 2\n"), " Insert data in immediate mode, type Q to quit\n"
                                        " The data set holds at most 1024 points.\n"
                                        " Type SAVE to save this data.\x07\n\n");
    EXPECT_EQ(s.data.count, 1024);
}

} // namespace
} // namespace tarva
