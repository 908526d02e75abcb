// The Tektronix driver: address encoding with byte omission, mode switching
// for the terminal types, style and colour escapes, output buffering, clear
// screen, clipping and cross-hair reports, written to a destination file.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>

#include "graphics/drivers/device_table.h"
#include "plot/device.h"
#include "plot/plot.h"
#include "session/session.h"
#include "temp_dir.h"

namespace tarva {
namespace {

using testing_support::read_file;
using testing_support::TempDir;

constexpr char ESC = 27, GS = 29, US = 31, FF = 12;

std::string bytes(std::initializer_list<char> c) { return std::string(c); }

// Aspect 1 and character size 1 give the viewport L 251, R 848, B 80, T 677;
// a 597 by 597 window then maps one world unit to one address.
struct Terminal : ::testing::Test {
    TempDir dir;
    std::istringstream in;
    std::ostringstream out;
    Session s{in, out};
    void SetUp() override {
        s.graphics.terminal_type = 1;
        open_destination(s, "screen.tek");
        ASSERT_TRUE(s.graphics.drivers().destination.is_open());
    }
    void begin() {
        float status = 0;
        begin_plot(s, 1.0f, 'S', 0, 597, 0, 597, status);
    }
    std::string written() {
        s.graphics.drivers().tek.put(-1);
        return read_file("screen.tek");
    }
};

TEST_F(Terminal, ViewportForSquareAndWideBoxes) {
    begin();
    EXPECT_EQ(s.graphics.drivers().tek.viewport_left(), 251);
    EXPECT_EQ(s.graphics.drivers().tek.viewport_right(), 848);
    EXPECT_EQ(s.graphics.drivers().tek.viewport_bottom(), 80);
    EXPECT_EQ(s.graphics.drivers().tek.viewport_top(), 677);
    end_plot(s, 'S');
    float status = 0;
    // Aspect 3, character size 2: L = 7*145/4 = 253.75, B = 160, R = 990,
    // T = 736.25/3 + 160 = 405.4; then shifted up by 0.75*(724 - 245.4)/2.
    s.graphics.char_size = 2.0f;
    begin_plot(s, 3.0f, 'S', 0, 1, 0, 1, status);
    EXPECT_EQ(s.graphics.drivers().tek.viewport_left(), 253);
    EXPECT_EQ(s.graphics.drivers().tek.viewport_right(), 990);
    EXPECT_EQ(s.graphics.drivers().tek.viewport_bottom(), 339);
    EXPECT_EQ(s.graphics.drivers().tek.viewport_top(), 584);
    end_plot(s, 'S');
}

TEST_F(Terminal, SmallPictureBytesWithByteOmission) {
    begin();
    plot_pen(s, 'S', 0, 0, 3);   // address (251, 80)
    plot_pen(s, 'S', 0, 20, 2);  // (251, 100): HiY and LoY change
    plot_pen(s, 'S', 0, 21, 2);  // (251, 101): only LoY, then LoX
    plot_pen(s, 'S', 0, 52, 2);  // (251, 132): HiY, LoY, LoX
    plot_pen(s, 'S', 40, 52, 2); // (291, 132): HiX changed, so LoY is sent too
    end_plot(s, 'S');
    std::string want = bytes({GS, ESC, FF, US}) +      // graph mode, clear, back to text
                       bytes({GS, US, GS}) + "\"p'[" + // move: all four bytes
                       "#d[" + "e[" + "$d[" + "d)C" +  // draws
                       bytes({US});                    // back to text
    EXPECT_EQ(written(), want);
    EXPECT_EQ(s.graphics.drivers().tek.current_mode(), 0);
}

TEST_F(Terminal, NoClearWhenTheGraphicsClearFlagIsOff) {
    s.graphics.clear_flag = false;
    begin();
    plot_pen(s, 'S', 0, 0, 3);
    plot_pen(s, 'S', 0, 20, 2);
    end_plot(s, 'S');
    // Graph mode at the start; the move re-sends US GS before its address.
    EXPECT_EQ(written(), bytes({GS, US, GS}) + "\"p'[" + "#d[" + bytes({US}));
}

TEST_F(Terminal, StyleAndColourEscapesRestartAtTheLastPenPosition) {
    s.graphics.clear_flag = false;
    begin();
    device_vector(s, 'S', 0, 0, 3);
    device_vector(s, 'S', 0, 20, 122); // style 2, colour 1
    end_plot(s, 'S');
    std::string want =
        bytes({GS, US, GS}) + "\"p'[" + bytes({ESC, 'b', ESC, '/', '1', 'd', GS}) + "\"p'[" + "#d[" + bytes({US});
    EXPECT_EQ(written(), want);
}

TEST_F(Terminal, LayerLineStyleReachesTheTerminalAsAnEscape) {
    s.graphics.clear_flag = false;
    begin();
    s.graphics.line_style = 3; // pen offset 10: style digit 1
    plot_pen(s, 'S', 0, 0, 3);
    plot_pen(s, 'S', 0, 20, 2);
    s.graphics.line_style = 0;
    plot_pen(s, 'S', 0, 21, 2);
    end_plot(s, 'S');
    std::string want = bytes({GS, US, GS}) + "\"p'[" + bytes({ESC, 'a', GS}) + "\"p'[" + "#d[" + bytes({ESC, '`', GS}) +
                       "#d'[" + "e[" + bytes({US});
    EXPECT_EQ(written(), want);
}

TEST_F(Terminal, NegativePenClearsTheScreenFirst) {
    s.graphics.clear_flag = false;
    begin();
    device_vector(s, 'S', 0, 0, -3);
    end_plot(s, 'S');
    EXPECT_EQ(written(), bytes({GS, US, ESC, FF, GS, US, GS}) + "\"p'[" + bytes({US}));
}

TEST_F(Terminal, ActionOneRepeatsTheLastAction) {
    s.graphics.clear_flag = false;
    begin();
    device_vector(s, 'S', 0, 0, 3);
    device_vector(s, 'S', 0, 20, 2);
    device_vector(s, 'S', 0, 21, 1); // draws again
    end_plot(s, 'S');
    EXPECT_EQ(written(), bytes({GS, US, GS}) + "\"p'[" + "#d[" + "e[" + bytes({US}));
}

TEST_F(Terminal, PointsOutsideTheWindowAreDroppedButMoveThePen) {
    s.graphics.clear_flag = false;
    begin();
    device_vector(s, 'S', 0, 0, 3);
    device_vector(s, 'S', 0, 700, 2); // address y 780 > 767: not sent
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    device_vector(s, 'S', nan, 0, 2);
    device_vector(s, 'S', inf, -inf, 2);
    device_vector(s, 'S', 1e30f, 1e30f, 2);
    device_vector(s, 'S', 0, 20, 2);
    end_plot(s, 'S');
    EXPECT_EQ(written(), bytes({GS, US, GS}) + "\"p'[" + "#d[" + bytes({US}));
}

TEST_F(Terminal, BufferIsWrittenAt120Characters) {
    s.graphics.clear_flag = false;
    begin();
    device_vector(s, 'S', 0, 0, 3); // 3 control characters + 4 address bytes
    // Each draw alternating between x 0 and 40 (HiX changes) sends 3 bytes.
    for (int i = 0; i < 40; ++i) device_vector(s, 'S', (i % 2) ? 0.0f : 40.0f, 0, 2);
    // 7 + 120 = 127 characters produced: exactly 120 are in the file.
    EXPECT_EQ(read_file("screen.tek").size(), 120u);
    end_plot(s, 'S');
    EXPECT_EQ(written().size(), 128u);
}

TEST_F(Terminal, MovesFlushWhenFortyCharactersWait) {
    s.graphics.clear_flag = false;
    begin();
    device_vector(s, 'S', 0, 0, 3);
    for (int i = 0; i < 11; ++i) device_vector(s, 'S', (i % 2) ? 0.0f : 40.0f, 0, 2); // 7 + 33 = 40
    EXPECT_EQ(read_file("screen.tek").size(), 0u);
    device_vector(s, 'S', 5, 5, 3); // US, then the conditional flush
    EXPECT_EQ(read_file("screen.tek").size(), 41u);
}

TEST_F(Terminal, TypeSequencesForEnterAndLeave) {
    s.graphics.terminal_type = 2;
    s.graphics.clear_flag = false;
    begin();
    end_plot(s, 'S');
    EXPECT_EQ(written(), bytes({ESC, '1', ESC, '*', GS, US, ESC, 'O', ESC, '2'}));
    EXPECT_EQ(terminal_enter_sequence(5), bytes({ESC, ':', GS}));
    EXPECT_EQ(terminal_leave_sequence(6), bytes({ESC, '\\', 24}));
    EXPECT_EQ(terminal_leave_sequence(7), bytes({24, 10, 23}));
    EXPECT_EQ(terminal_enter_sequence(10), bytes({ESC, FF}));
    EXPECT_EQ(terminal_leave_sequence(10), "");
    EXPECT_EQ(terminal_type_name(8), "xterm in Fenwold laboratory");
}

TEST_F(Terminal, ClearScreenOnTypeSeven) {
    s.graphics.terminal_type = 7;
    terminal_clear(s);
    EXPECT_EQ(written(), bytes({13, GS, US, ESC, FF, US, 24, 10, 23}));
}

TEST_F(Terminal, CrossHairReportGivesKeyAndWorldPoint) {
    s.graphics.clear_flag = false;
    begin();
    end_plot(s, 'S');
    // X = 300: ')' (41*32 mod 1024 = 288) and 'L' (76 mod 32 = 12);
    // Y = 200: '&' (192) and 'h' (8).
    in.str("A)L&h\n");
    char key = ' ';
    float x = 0, y = 0;
    cross_hair(s, 'S', key, x, y);
    EXPECT_EQ(key, 'A');
    EXPECT_FLOAT_EQ(x, 49.0f);
    EXPECT_FLOAT_EQ(y, 120.0f);
    // The picture (graph mode, back to text), then the cursor request; alpha
    // mode entered from text sends the (empty) enter sequence of type 1.
    EXPECT_EQ(written(), bytes({GS, US, ESC, US, ESC, US, ESC, 26}));
    // A failed read gives a blank key.
    key = 'z';
    cross_hair(s, 'S', key, x, y);
    EXPECT_EQ(key, ' ');
}

TEST(TerminalAddress, BytesFollowTheTenBitForm) {
    auto b = tektronix_address_bytes(1023, 767);
    EXPECT_EQ(b[0], 32 + 23);
    EXPECT_EQ(b[1], 96 + 31);
    EXPECT_EQ(b[2], 32 + 31);
    EXPECT_EQ(b[3], 64 + 31);
    b = tektronix_address_bytes(-5, 5000);
    EXPECT_EQ(b[2], 32);
    EXPECT_EQ(b[0], 32 + 31);
}

TEST(TerminalDestination, UnopenableNameKeepsTheOldDestination) {
    TempDir dir;
    std::istringstream in;
    std::ostringstream out;
    Session s{in, out};
    open_destination(s, "first.tek");
    EXPECT_EQ(s.graphics.drivers().destination.name(), "first.tek");
    s.graphics.drivers().tek.put_text("ab");
    s.graphics.drivers().tek.put(-1);
    open_destination(s, "no/such/dir/x.tek");
    EXPECT_EQ(out.str(), " Unable to open output to no/such/dir/x.tek.\n");
    EXPECT_EQ(s.graphics.drivers().destination.name(), "first.tek");
    EXPECT_TRUE(s.graphics.drivers().destination.is_open());
    // The reopened destination continues after what was written.
    s.graphics.drivers().tek.put_text("cd");
    s.graphics.drivers().tek.put(-1);
    EXPECT_EQ(read_file("first.tek"), "abcd");
    // Blank keeps the destination.
    open_destination(s, "   ");
    EXPECT_EQ(s.graphics.drivers().destination.name(), "first.tek");
}

} // namespace
} // namespace tarva
