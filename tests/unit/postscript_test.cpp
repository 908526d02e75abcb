// PostScript plot files: the opening lines, items five to a line, widths,
// extents and reports, the counter file and file naming, and that every file
// written renders with Ghostscript.
#include <gtest/gtest.h>

#include <cmath>
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

const std::string kOpening = "%!\n"
                             "%%\n"
                             "%% K.L. Postscript V1.1 (4/7/87)\n"
                             "%%\n"
                             "%% Scaling definitions for 8.5 by 11 inch paper at .001 inch\n"
                             "%% resolution\n"
                             "0.072 0.072 scale\n"
                             "8500 0 translate 90 rotate\n"
                             "%% Macro definitions\n"
                             "/il { moveto } def\n"
                             "/vl { lineto currentpoint stroke moveto } def\n"
                             "/pt { moveto currentpoint currentpoint 1 0 360 arc\n"
                             "stroke moveto } def\n"
                             "/SLW { setlinewidth } def\n"
                             "%% Default graphics rendition settings\n"
                             "1 setlinejoin 1 setlinecap 1 SLW\n"
                             "%% Beginning of first page\n"
                             "newpath 0 0 moveto\n";

const std::string kTrailer = " showpage \n\x04\n";

// Renders a file with Ghostscript; true when it ran without an error.
::testing::AssertionResult renders(const std::string& file) {
    std::string cmd =
        "gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=png16m -sOutputFile=render.png " + file + " >gs.log 2>&1";
    int rc = std::system(cmd.c_str());
    std::string log = read_file("gs.log");
    if (rc != 0 || log.find("Error") != std::string::npos)
        return ::testing::AssertionFailure() << file << ": gs status " << rc << "\n" << log;
    if (!std::filesystem::exists("render.png") || std::filesystem::file_size("render.png") == 0)
        return ::testing::AssertionFailure() << file << ": no picture";
    return ::testing::AssertionSuccess();
}

struct PostScript : testing_support::ScratchCommandFixture {
    void begin(float aspect = kSqrt2, float x0 = 0, float x1 = 100, float y0 = 0, float y1 = 100) {
        float status = -1;
        begin_plot(s, aspect, 'Q', x0, x1, y0, y1, status);
        EXPECT_EQ(status, 0.0f);
    }
};

TEST_F(PostScript, BoxPictureFileAndMessages) {
    begin();
    box('Q');
    end_plot(s, 'Q');
    close_plot_files(s, '*');
    // Aspect sqrt 2, size 1: box from (1250, 1250) to (10250, 7613.96).
    EXPECT_EQ(read_file("plt01.ps"), kOpening + "  5 SLW \n" +
                                         " 1250 1250 il 10250 1250 vl 10250 7613 vl  1250 7613 vl  1250 1250 vl \n" +
                                         kTrailer);
    EXPECT_EQ(read_file("qvm.ps"), " 1\n");
    EXPECT_EQ(out.str(), " Plot written to: plt01.ps\n"
                         "\n"
                         " plt01.ps file closed.\n"
                         "\n"
                         "  X range (cm):     3.2   26.0\n"
                         "  Y range (cm):     3.2   19.3\n"
                         "\n"
                         " Regular page X: 0-27.9  Y: 0-21.6 cm\n"
                         " Center offsets:    -0.6,   -0.5\n"
                         "\n");
    if (!have_program("gs")) GTEST_SKIP() << "Ghostscript not installed";
    EXPECT_TRUE(renders("plt01.ps"));
}

TEST_F(PostScript, ElevenVectorsGiveTwoFullLinesAndOneShort) {
    begin();
    for (int i = 0; i < 11; ++i) device_vector(s, 'Q', static_cast<float>(i), 0, i == 0 ? 3 : 2);
    end_plot(s, 'Q');
    close_plot_files(s, '*');
    std::string body = read_file("plt01.ps").substr(kOpening.size());
    std::istringstream lines(body);
    std::string l;
    std::getline(lines, l);
    EXPECT_EQ(l, "  5 SLW ");
    std::getline(lines, l);
    EXPECT_EQ(l.size(), 70u);
    EXPECT_EQ(l.substr(0, 28), " 1250 1250 il  1340 1250 vl ");
    std::getline(lines, l);
    EXPECT_EQ(l.size(), 70u);
    std::getline(lines, l);
    EXPECT_EQ(l, " 2150 1250 vl ");
    std::getline(lines, l);
    EXPECT_EQ(l, " showpage ");
    if (!have_program("gs")) GTEST_SKIP() << "Ghostscript not installed";
    EXPECT_TRUE(renders("plt01.ps"));
}

TEST_F(PostScript, WidthChangesAboveOneHundredthWriteAnItem) {
    begin();
    device_vector(s, 'Q', 0, 0, 3);
    s.graphics.drivers().ps.set_width(1.005f);
    device_vector(s, 'Q', 10, 0, 2);
    s.graphics.drivers().ps.set_width(3.0f);
    device_vector(s, 'Q', 20, 0, 2);
    s.graphics.drivers().ps.set_width(30.0f); // 150 is limited to 99
    device_vector(s, 'Q', 30, 0, 2);
    end_plot(s, 'Q');
    close_plot_files(s, '*');
    std::string body = read_file("plt01.ps").substr(kOpening.size());
    EXPECT_EQ(body, "  5 SLW \n"
                    " 1250 1250 il  2150 1250 vl " +
                        std::string(" 15 SLW ") + std::string(6, ' ') + " 3050 1250 vl " + std::string(" 99 SLW ") +
                        std::string(6, ' ') +
                        "\n"
                        " 3950 1250 vl \n" +
                        kTrailer);
    if (!have_program("gs")) GTEST_SKIP() << "Ghostscript not installed";
    EXPECT_TRUE(renders("plt01.ps"));
}

TEST_F(PostScript, PicturesShareTheFileWithoutTheClearFlag) {
    s.graphics.clear_flag = false;
    begin();
    box('Q');
    end_plot(s, 'Q');
    begin(1.0f, 0, 10, 0, 10);
    plot_pen(s, 'Q', 0, 0, 3);
    plot_pen(s, 'Q', 10, 10, 2);
    end_plot(s, 'Q');
    close_plot_files(s, '*');
    std::string file = read_file("plt01.ps");
    EXPECT_EQ(file.find("showpage"), file.rfind("showpage"));
    EXPECT_FALSE(std::filesystem::exists("plt02.ps"));
    // The report of the first picture comes when the second begins.
    EXPECT_NE(out.str().find(" Plot written to: plt01.ps\n\n  X range (cm):     3.2   26.0\n"
                             "  Y range (cm):     3.2   19.3\n\n  Regular page X: 0-27.9  Y: 0-21.6\n"
                             "  Center offsets:    -0.6   -0.5\n\n Plot written to: plt01.ps\n"),
              std::string::npos)
        << out.str();
    if (!have_program("gs")) GTEST_SKIP() << "Ghostscript not installed";
    EXPECT_TRUE(renders("plt01.ps"));
}

TEST_F(PostScript, ClearFlagStartsANewNumberedFilePerPicture) {
    begin();
    box('Q');
    end_plot(s, 'Q');
    begin();
    box('Q');
    end_plot(s, 'Q');
    EXPECT_NE(out.str().find("\n\n New plot file plt02.ps opened.\n\n Plot written to: plt02.ps\n"), std::string::npos)
        << out.str();
    EXPECT_EQ(read_file("qvm.ps"), " 2\n");
    std::string first = read_file("plt01.ps");
    EXPECT_EQ(first.substr(first.size() - kTrailer.size()), kTrailer);
    close_plot_files(s, '*');
    EXPECT_EQ(read_file("plt02.ps"), read_file("plt01.ps"));
    if (!have_program("gs")) GTEST_SKIP() << "Ghostscript not installed";
    EXPECT_TRUE(renders("plt01.ps"));
    EXPECT_TRUE(renders("plt02.ps"));
}

TEST_F(PostScript, CounterFileWrapsAndSurvivesGarbage) {
    struct Case {
        const char* content;
        const char* file;
    };
    const Case cases[] = {
        {" 99\n", "plt01.ps"},
        {" 7\n", "plt08.ps"},
        {"-40\n", "plt01.ps"},
        {"123456789012345678901234567890\n", "plt01.ps"}, // unreadable: the counter in memory (0) goes on
        {"\x01\xff garbage\n", "plt01.ps"},
        {"", "plt01.ps"},
        {"   \n 12,3\n", "plt13.ps"},
    };
    for (const auto& c : cases) {
        write_file("qvm.ps", c.content);
        s.graphics.drivers().ps.set_counter(0);
        begin();
        close_plot_files(s, '*');
        EXPECT_TRUE(std::filesystem::exists(c.file)) << c.content;
        std::filesystem::remove(c.file);
    }
    // A counter that cannot be written continues from memory.
    std::filesystem::remove("qvm.ps");
    std::filesystem::create_directory("qvm.ps");
    s.graphics.drivers().ps.set_counter(41);
    begin();
    close_plot_files(s, '*');
    EXPECT_TRUE(std::filesystem::exists("plt42.ps"));
    s.graphics.drivers().ps.set_counter(99);
    begin();
    close_plot_files(s, '*');
    EXPECT_TRUE(std::filesystem::exists("plt01.ps"));
}

TEST_F(PostScript, NewFileAfter99WrapsTo01) {
    write_file("qvm.ps", "98\n");
    begin();
    end_plot(s, 'Q');
    begin();
    end_plot(s, 'Q');
    close_plot_files(s, '*');
    EXPECT_TRUE(std::filesystem::exists("plt99.ps"));
    EXPECT_TRUE(std::filesystem::exists("plt01.ps"));
    EXPECT_EQ(read_file("qvm.ps"), " 1\n");
}

TEST_F(PostScript, DefinedNamePlacementAndAutomaticNaming) {
    s.graphics.drivers().ps.set_file_name("mine.ps");
    // Scale 0.5, offsets 25.4 mm = 1000 device units.
    define_placement(s, 'Q', 0.5f, 25.4f, 0.0f);
    begin(1.0f);
    device_vector(s, 'Q', 0, 0, 3);
    device_vector(s, 'Q', 100, 100, 2);
    close_plot_files(s, '*');
    // Aspect 1: L = B = 1250, T = 1250 + 9000/sqrt2 = 7613.96, R = L + (T - B).
    std::string body = read_file("mine.ps").substr(kOpening.size());
    EXPECT_EQ(body, "  3 SLW \n 1625  625 il  4806 3806 vl \n" + kTrailer);
    // The counter stepped for the named file too.
    s.graphics.drivers().ps.set_file_name("*");
    begin();
    close_plot_files(s, '*');
    EXPECT_TRUE(std::filesystem::exists("plt02.ps"));
    if (!have_program("gs")) GTEST_SKIP() << "Ghostscript not installed";
    EXPECT_TRUE(renders("mine.ps"));
}

TEST_F(PostScript, FarPointsAreClippedAndZeroRangeStillWrites) {
    begin();
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    device_vector(s, 'Q', -1e30f, 1e30f, 3);
    device_vector(s, 'Q', inf, -inf, 2);
    device_vector(s, 'Q', nan, nan, 2);
    device_vector(s, 'Q', 0, 200, 2);
    end_plot(s, 'Q');
    std::string body = read_file("plt01.ps").substr(kOpening.size());
    EXPECT_EQ(body, "  5 SLW \n    1 9999 il 11500    1 vl     1    1 vl  1250 9999 vl \n");
    begin(1.0f, 5, 5, 0, 1);
    EXPECT_NE(out.str().find("\n  X or Y range is zero!\n Plot written to: plt02.ps\n"), std::string::npos)
        << out.str();
    device_vector(s, 'Q', 5, 0, 3);
    device_vector(s, 'Q', 6, 1, 2);
    close_plot_files(s, '*');
    if (!have_program("gs")) GTEST_SKIP() << "Ghostscript not installed";
    EXPECT_TRUE(renders("plt01.ps"));
    EXPECT_TRUE(renders("plt02.ps"));
}

TEST_F(PostScript, UnopenablePlotFileIsReportedAndNothingIsWritten) {
    s.graphics.drivers().ps.set_file_name("no/such/dir/p.ps");
    float status = 0;
    begin_plot(s, kSqrt2, 'Q', 0, 100, 0, 100, status);
    EXPECT_EQ(status, 1.0f); // the picture cannot be drawn
    device_vector(s, 'Q', 0, 0, 3);
    end_plot(s, 'Q');
    close_plot_files(s, '*');
    EXPECT_FALSE(s.graphics.drivers().ps.is_open());
    EXPECT_NE(out.str().find(" Unable to open no/such/dir/p.ps for output.\n"), std::string::npos) << out.str();
    EXPECT_EQ(out.str().find("file closed"), std::string::npos);
    EXPECT_EQ(out.str().find("Plot written to"), std::string::npos);
}

} // namespace
} // namespace tarva
