// DEFINE, TERMIN and THICK through the command routines, the terminal type
// asked at the first terminal picture, and the plot files closed by CLOSE
// and at the end of the program.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "command_fixture.h"
#include "commands/commands.h"
#include "graphics/drivers/device_table.h"
#include "graphics/drivers/recording_driver.h"
#include "interpreter/interpreter.h"
#include "plot/device.h"
#include "plot/plot.h"
#include "session/session.h"

namespace tarva {
namespace {

using testing_support::read_file;

struct Commands : testing_support::ScratchCommandFixture {};

TEST_F(Commands, DefinePlacementPerDevice) {
    in.str("2\n10,5\n");
    type("define/s");
    EXPECT_FLOAT_EQ(s.graphics.terminal_scale, 2.0f);
    EXPECT_FLOAT_EQ(s.graphics.terminal_offx, 47.2f);
    EXPECT_FLOAT_EQ(s.graphics.terminal_offy, 23.6f);
    // A blank scale answer is 1.0, blank offsets 0; a bad scale is asked again.
    in.clear();
    in.str("abc\n\n\n");
    out.str("");
    type("define");
    EXPECT_FLOAT_EQ(s.graphics.terminal_scale, 1.0f);
    EXPECT_FLOAT_EQ(s.graphics.terminal_offx, 0.0f);
    EXPECT_EQ(out.str(), " Scale factor for next plot >  Scale factor for next plot >  X and Y plot offsets (mm) > ");
    // DEFINE/Q changes only the PostScript placement: a picture shows it.
    in.clear();
    in.str("0.5\n25.4,0\n");
    type("define/q");
    EXPECT_FLOAT_EQ(s.graphics.terminal_scale, 1.0f);
    float status = 0;
    begin_plot(s, 1.0f, 'Q', 0, 100, 0, 100, status);
    device_vector(s, 'Q', 0, 0, 3);
    end_plot(s, 'Q');
    EXPECT_NE(read_file("plt01.ps").find("\n 1625  625 il \n"), std::string::npos);
    close_plot_files(s, '*');
}

TEST_F(Commands, DefineWithANameSetsFileNames) {
    type("define/* both");
    type("define/s ignored");
    float status = 0;
    begin_plot(s, 1.0f, 'Q', 0, 1, 0, 1, status);
    begin_plot(s, 1.0f, 'P', 0, 1, 0, 1, status);
    close_plot_files(s, '*');
    EXPECT_TRUE(std::filesystem::exists("both"));
    EXPECT_TRUE(std::filesystem::exists("both.hgl"));
    EXPECT_FALSE(std::filesystem::exists("ignored"));
    type("define/h *");
    begin_plot(s, 1.0f, 'H', 0, 1, 0, 1, status);
    close_plot_files(s, '*');
    EXPECT_TRUE(std::filesystem::exists("H1.hgl"));
}

TEST_F(Commands, ThickSetsCountAndOffset) {
    type("thick/5 0.2");
    EXPECT_EQ(s.graphics.thick_count, 5);
    EXPECT_FLOAT_EQ(s.graphics.thick_offset, 0.2f);
    // Five line pairs around each segment.
    RecordingDriver rec;
    s.graphics.recorder = &rec;
    float status = 0;
    begin_plot(s, 1.0f, 'S', 0, 10, 0, 10, status);
    plot_pen(s, 'S', 1, 1, 3);
    plot_pen(s, 'S', 9, 1, 2);
    EXPECT_EQ(rec.vectors().size(), 2u + 5u * 4u + 1u);
    type("thick/q 3");
    EXPECT_EQ(s.graphics.thick_count, 0);
}

TEST_F(Commands, TerminSelectsAndRemembersThePreviousType) {
    type("termin 7");
    EXPECT_EQ(s.graphics.terminal_type, 7);
    type("termin 2.6");
    EXPECT_EQ(s.graphics.terminal_type, 3);
    EXPECT_EQ(s.graphics.previous_terminal_type, 7);
    type("termin/r");
    EXPECT_EQ(s.graphics.terminal_type, 7);
    EXPECT_EQ(s.graphics.previous_terminal_type, 3);
    EXPECT_EQ(out.str(), "");
    in.str("\n10.6\n"); // rounds to 11: outside the menu
    type("termin 1e30");
    EXPECT_EQ(s.graphics.terminal_type, 1);
    EXPECT_NE(out.str().find(" >  >  Terminal type  1 selected.\n"), std::string::npos) << out.str();
    // Input ending inside the menu gives up and keeps the type.
    in.clear();
    in.str("");
    type("termin 0");
    EXPECT_EQ(s.graphics.terminal_type, 1);
}

TEST_F(Commands, FirstTerminalPictureAsksForTheTerminalType) {
    open_destination(s, "screen.tek");
    in.str("2\n");
    float status = 0;
    begin_plot(s, 1.0f, ' ', 0, 1, 0, 1, status);
    EXPECT_EQ(s.graphics.terminal_type, 2);
    EXPECT_NE(out.str().find(" Terminal type  2 selected.\n"), std::string::npos);
    end_plot(s, ' ');
    close_plot_files(s, 'S');
    // Type 2's enter sequence then graph mode, the clear, and its leave sequence.
    EXPECT_EQ(read_file("screen.tek").substr(0, 5), "\x1b"
                                                    "1\x1b*\x1d");
    EXPECT_FALSE(s.graphics.drivers().destination.is_open());
}

TEST_F(Commands, ExitAndCloseFinishThePlotFiles) {
    float status = 0;
    begin_plot(s, 1.0f, 'Q', 0, 1, 0, 1, status);
    begin_plot(s, 1.0f, 'P', 0, 1, 0, 1, status);
    type("close");
    EXPECT_FALSE(s.graphics.drivers().ps.is_open());
    EXPECT_FALSE(s.graphics.drivers().hpgl.is_open());
    // PostScript is closed first, then HP-GL.
    const std::string text = out.str();
    EXPECT_LT(text.find(" plt01.ps file closed."), text.find(" HP-GL plot file closed: P1.hgl"));
    begin_plot(s, 1.0f, 'Q', 0, 1, 0, 1, status);
    in.str("exit\n");
    EXPECT_EQ(run_loop(s), 0);
    EXPECT_FALSE(s.graphics.drivers().ps.is_open());
    const std::string ps = read_file("plt02.ps");
    EXPECT_EQ(ps.substr(ps.size() - 13), " showpage \n\x04\n");
}

} // namespace
} // namespace tarva
