// HP-GL plot files: both options' opening and closing lines, orientation,
// items and line breaks, the run-number file and naming, zero ranges, and
// that hp2xx reads the files written.
#include <gtest/gtest.h>

#include <filesystem>
#include <limits>
#include <sstream>

#include "command_fixture.h"
#include "graphics/drivers/device_table.h"
#include "plot/device.h"
#include "plot/plot.h"
#include "session/session.h"
#include "temp_dir.h"

namespace tarva {
namespace {

using testing_support::have_program;
using testing_support::read_file;
using testing_support::write_file;

const std::string E = "\x1b";
const std::string kOpeningP =
    " " + E + ".(" + E + ".J" + E + ".K" + E + ".M:" + E + ".@;3:" + E + ".N:\n" + " IN;PU;\n PW1;\n VS18;\n";
const std::string kOpeningH = " " + E + "E\n " + E + "%0B\n TR1;\n IN;\n";
const std::string kPens = " SP1;\n PW 0.15;\n SP 1;\n PU0,0;\n";
const std::string kClosing = "\n " + E + "%0A\n " + E + "E\n";

// Converts a file with hp2xx; true when it was read and a picture made.
::testing::AssertionResult hp2xx_reads(const std::string& file, std::string* log_out = nullptr) {
    std::string cmd = "hp2xx -m png -f render.png " + file + " >hp2xx.log 2>&1";
    std::filesystem::remove("render.png");
    int rc = std::system(cmd.c_str());
    std::string log = read_file("hp2xx.log");
    if (log_out) *log_out = log;
    if (rc != 0) return ::testing::AssertionFailure() << file << ": hp2xx status " << rc << "\n" << log;
    if (!std::filesystem::exists("render.png") || std::filesystem::file_size("render.png") == 0)
        return ::testing::AssertionFailure() << file << ": no picture\n" << log;
    return ::testing::AssertionSuccess();
}

struct Hpgl : testing_support::ScratchCommandFixture {
    float begin(char option, float aspect = 1.0f, float x0 = 0, float x1 = 100, float y0 = 0, float y1 = 100) {
        float status = -1;
        begin_plot(s, aspect, option, x0, x1, y0, y1, status);
        return status;
    }
};

TEST_F(Hpgl, PenPlotterBoxHorizontal) {
    EXPECT_EQ(begin('p'), 0.0f);
    box('p');
    end_plot(s, 'p');
    close_plot_files(s, '*');
    // Aspect 1 is below 8480/6480: the box is 6480 square from (1590, 810).
    EXPECT_EQ(read_file("P1.hgl"), kOpeningP + kPens +
                                       " PU 1590,  810 PD 8070,  810 PD 8070, 7290 PD 1590, 7290\n"
                                       " PD 1590,  810" +
                                       kClosing);
    EXPECT_EQ(read_file("hpqvm.hgl"), "    1\n");
    EXPECT_EQ(out.str(), " Starting the generation of a HP-GL file: option P\n"
                         " Opening HP-GL plot file: P1.hgl\n"
                         " Making a plot with the x-axis horizontal.\n"
                         " HP-GL plot file closed: P1.hgl\n"
                         " Plot done with x-axis horizontal\n");
    if (!have_program("hp2xx")) GTEST_SKIP() << "hp2xx not installed";
    std::string log;
    EXPECT_TRUE(hp2xx_reads("P1.hgl", &log));
    EXPECT_NE(log.find("HPGL command(s) ignored: 0"), std::string::npos) << log;
}

TEST_F(Hpgl, PagePrinterBoxVertical) {
    write_file("hpqvm.hgl", "   11\n");
    EXPECT_EQ(begin('H'), 0.0f);
    box('H');
    end_plot(s, 'H');
    close_plot_files(s, '*');
    EXPECT_EQ(read_file("H12.hgl"), kOpeningH + kPens +
                                        " PU 7290, 1590 PD 7290, 8070 PD  810, 8070 PD  810, 1590\n"
                                        " PD 7290, 1590" +
                                        kClosing);
    EXPECT_EQ(read_file("hpqvm.hgl"), "   12\n");
    EXPECT_NE(out.str().find(" Making a plot with the x-axis vertical.\n"), std::string::npos);
    EXPECT_NE(out.str().find(" Plot done with x-axis vertical\n"), std::string::npos);
    if (!have_program("hp2xx")) GTEST_SKIP() << "hp2xx not installed";
    EXPECT_TRUE(hp2xx_reads("H12.hgl"));
}

TEST_F(Hpgl, WideAspectFillsTheWidth) {
    EXPECT_EQ(begin('P', kSqrt2), 0.0f);
    device_vector(s, 'P', 0, 0, 3);
    device_vector(s, 'P', 100, 100, 2);
    close_plot_files(s, '*');
    // Top = 8480/1.4142135 + 810 = 6806.3.
    EXPECT_NE(read_file("P1.hgl").find(" PU 1590,  810 PD10070, 6806"), std::string::npos) << read_file("P1.hgl");
}

TEST_F(Hpgl, TwoMovesAndADrawWriteOnePenUp) {
    begin('P');
    device_vector(s, 'P', 10, 10, 3);
    device_vector(s, 'P', 20, 20, 3);
    device_vector(s, 'P', 30, 30, 2);
    close_plot_files(s, '*');
    std::string body = read_file("P1.hgl").substr(kOpeningP.size() + kPens.size());
    EXPECT_EQ(body, " PU 2886, 2106 PD 3534, 2754" + kClosing);
}

TEST_F(Hpgl, LineBreakComesWithEveryFifthCall) {
    begin('P');
    for (int i = 0; i < 11; ++i) device_vector(s, 'P', static_cast<float>(i * 10), 0, 2);
    close_plot_files(s, '*');
    std::string body = read_file("P1.hgl").substr(kOpeningP.size() + kPens.size());
    std::istringstream lines(body);
    std::string l;
    int items[3] = {0, 0, 0};
    for (int k = 0; k < 3 && std::getline(lines, l); ++k)
        for (std::size_t p = l.find(" PD"); p != std::string::npos; p = l.find(" PD", p + 1)) ++items[k];
    EXPECT_EQ(items[0], 4);
    EXPECT_EQ(items[1], 5);
    EXPECT_EQ(items[2], 2);
}

TEST_F(Hpgl, RunNumberFileWrapsAndSurvivesGarbage) {
    write_file("hpqvm.hgl", "99999\n");
    begin('P');
    close_plot_files(s, '*');
    EXPECT_TRUE(std::filesystem::exists("P1.hgl"));
    EXPECT_EQ(read_file("hpqvm.hgl"), "    1\n");

    write_file("hpqvm.hgl", "-9999\n");
    begin('P');
    close_plot_files(s, '*');
    EXPECT_EQ(read_file("hpqvm.hgl"), "    1\n");

    // Garbage: reported, and the number in memory (1) steps to 2.
    out.str("");
    write_file("hpqvm.hgl", "zz\x01\n");
    begin('P');
    close_plot_files(s, '*');
    EXPECT_TRUE(std::filesystem::exists("P2.hgl"));
    EXPECT_NE(out.str().find(" Error updating run number in hprun.hgl\n Opening HP-GL plot file: P2.hgl\n"),
              std::string::npos)
        << out.str();

    // An empty file cannot be read either.
    write_file("hpqvm.hgl", "");
    begin('P');
    close_plot_files(s, '*');
    EXPECT_TRUE(std::filesystem::exists("P3.hgl"));

    // Only the I5 field counts: 1234567 reads as 12345.
    write_file("hpqvm.hgl", "1234567\n");
    begin('H');
    close_plot_files(s, '*');
    EXPECT_TRUE(std::filesystem::exists("H12346.hgl"));
}

TEST_F(Hpgl, DefinedNameGetsTheExtensionWhenItHasNoDot) {
    s.graphics.drivers().hpgl.set_file_name("plotA");
    begin('P');
    close_plot_files(s, '*');
    EXPECT_TRUE(std::filesystem::exists("plotA.hgl"));
    EXPECT_FALSE(std::filesystem::exists("hpqvm.hgl"));
    s.graphics.drivers().hpgl.set_file_name("fig.plt");
    begin('P');
    close_plot_files(s, '*');
    EXPECT_TRUE(std::filesystem::exists("fig.plt"));
    s.graphics.drivers().hpgl.set_file_name("   ");
    begin('P');
    close_plot_files(s, '*');
    EXPECT_EQ(read_file("fig.plt").size(), read_file("plotA.hgl").size());
    s.graphics.drivers().hpgl.set_file_name("*");
    begin('P');
    close_plot_files(s, '*');
    EXPECT_TRUE(std::filesystem::exists("P1.hgl"));
}

TEST_F(Hpgl, ClearFlagFinishesTheOpenFileBeforeTheNextStarts) {
    begin('P');
    box('P');
    end_plot(s, 'P');
    begin('P');
    box('P');
    end_plot(s, 'P');
    // The first file is complete although the program has not closed the second.
    std::string first = read_file("P1.hgl");
    ASSERT_GE(first.size(), kClosing.size());
    EXPECT_EQ(first.substr(first.size() - kClosing.size()), kClosing);
    // Finished quietly: the second picture says what every picture says.
    EXPECT_NE(out.str().find(" Starting the generation of a HP-GL file: option P\n"
                             " Opening HP-GL plot file: P2.hgl\n"),
              std::string::npos)
        << out.str();
    EXPECT_EQ(out.str().find("closed"), std::string::npos) << out.str();
    close_plot_files(s, '*');
    EXPECT_EQ(read_file("P2.hgl"), first);
    if (!have_program("hp2xx")) GTEST_SKIP() << "hp2xx not installed";
    EXPECT_TRUE(hp2xx_reads("P1.hgl"));
}

TEST_F(Hpgl, WithoutTheClearFlagPicturesContinueInOneFile) {
    s.graphics.clear_flag = false;
    begin('P');
    box('P');
    end_plot(s, 'P');
    begin('P', 1.0f, 0, 200, 0, 200);
    box('P');
    end_plot(s, 'P');
    close_plot_files(s, '*');
    EXPECT_FALSE(std::filesystem::exists("P2.hgl"));
    std::string file = read_file("P1.hgl");
    EXPECT_EQ(file.find("IN;"), file.rfind("IN;"));
    EXPECT_NE(file.find("PD 4830, 4050"), std::string::npos); // (100, 100) in the second window
}

TEST_F(Hpgl, ZeroRangesStopThePicture) {
    EXPECT_EQ(begin('P', 1.0f, 0, 1, 3, 3), 1.0f);
    EXPECT_EQ(begin('P', 1.0f, 2, 2, 0, 1), 1.0f);
    EXPECT_EQ(begin('P', 1.0f, 2, 1, 0, 1), 1.0f);
    EXPECT_EQ(out.str(), " Starting the generation of a HP-GL file: option P\n Zero range on y-axis!\n"
                         " Starting the generation of a HP-GL file: option P\n Zero range on x-axis!\n"
                         " Starting the generation of a HP-GL file: option P\n Zero range on x-axis!\n");
    EXPECT_FALSE(s.graphics.drivers().hpgl.is_open());
    device_vector(s, 'P', 1, 1, 2); // nothing open: ignored
}

TEST_F(Hpgl, PenSettingsAndOrientationChoice) {
    s.graphics.drivers().hpgl.set_pen(s.out(), -2);
    EXPECT_EQ(out.str(), ""); // no file open: nothing printed
    hpgl_set_orientation(s, false);
    begin('H');
    EXPECT_NE(out.str().find(" Making a plot with the x-axis horizontal.\n"), std::string::npos);
    out.str("");
    s.graphics.drivers().hpgl.set_pen(s.out(), 3);
    EXPECT_EQ(out.str(), " Setting pen width= 0.30 colour= 3\n");
    close_plot_files(s, '*');
    std::string file = read_file("H1.hgl");
    EXPECT_NE(file.find(" PW 0.30;\n SP 1;\n PU0,0;\n PW 0.30;\n SP 3;\n"), std::string::npos) << file;
    // Closing forgets the user's choice: H is vertical again.
    out.str("");
    begin('H');
    EXPECT_NE(out.str().find(" Making a plot with the x-axis vertical.\n"), std::string::npos);
    close_plot_files(s, '*');
}

TEST_F(Hpgl, FarPointsStayInsideTheFields) {
    begin('P');
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    device_vector(s, 'P', 1e30f, -1e30f, 3);
    device_vector(s, 'P', nan, inf, 2);
    close_plot_files(s, '*');
    std::string body = read_file("P1.hgl").substr(kOpeningP.size() + kPens.size());
    EXPECT_EQ(body, " PU99999,-9999 PD-9999,99999" + kClosing);
}

TEST_F(Hpgl, UnopenablePlotFileGivesStatusOne) {
    s.graphics.drivers().hpgl.set_file_name("no/such/dir/x");
    EXPECT_EQ(begin('P'), 1.0f);
    EXPECT_NE(out.str().find(" Unable to open no/such/dir/x.hgl for output.\n"), std::string::npos) << out.str();
    EXPECT_FALSE(s.graphics.drivers().hpgl.is_open());
}

} // namespace
} // namespace tarva
