// A real consumer of the sixel terminal: xterm emulating a VT340, run under
// a virtual X server (x_screen.h), shows the picture the driver wrote to a
// file, at its size; and the program itself, run inside such an xterm, asks
// the terminal for its window and draws the picture inline at that size.
// Skipped when xterm, Xvfb, xwd or xwdtopnm are missing (failed under CI).
#include <gtest/gtest.h>

#include <string>

#include "graphics/drivers/device_table.h"
#include "graphics/drivers/image_terminal.h"
#include "temp_dir.h"
#include "x_screen.h"

namespace tarva {
namespace {

using namespace testing_support;

// The plot box spans 9000 by 6364 of the page's 11000 by 8500 units.
constexpr double kBoxShare = 9000.0 / 11000.0;
constexpr const char* kXterm = "-ti vt340 -geometry 150x60+0+0";

// Checks the frame found on the screen (the aspect ratio sqrt 2) and, if
// asked, the diagonal in its middle.
void expect_box(const Image& img, const Box& box, bool diagonal) {
    ASSERT_GE(box.rows, 2) << read_file("xterm.log");
    ASSERT_GE(box.cols, 2);
    const double w = box.right - box.left, h = box.bottom - box.top;
    ASSERT_GT(h, 0);
    EXPECT_NEAR(w / h, 1.4142, 0.03) << w << " x " << h;
    if (diagonal) {
        EXPECT_TRUE(dark_near(img, (box.left + box.right) / 2, (box.top + box.bottom) / 2));
    }
}

// The picture written to a file (800 x 618, the size for a destination
// that is not a terminal) and shown with cat: the box at its size in pixels.
TEST(XtermSixel, Vt340ShowsThePictureAtItsSize) {
    if (!have_x_tools()) GTEST_SKIP() << "xterm, Xvfb, xwd or xwdtopnm not installed";
    TempDir dir;
    Image img;
    const Box box = show_box_in_xterm(kSixelType, "picture.six", kXterm, "xterm_sixel.ppm", img);
    expect_box(img, box, true);
    EXPECT_NEAR(box.right - box.left, kBoxShare * kDefaultPicture.width, 4.0);
}

// The program in the terminal: TERMIN/S, a picture on /dev/tty. The
// terminal tells its size (the kernel's window size, and the largest sixel
// picture it draws; no message about the size) and lists sixel graphics,
// and the picture is fitted to the 900 x 780 pixel window, larger than the
// default.
TEST(XtermSixel, ProgramInXtermDrawsAtTheWindowSize) {
    if (!have_x_tools()) GTEST_SKIP() << "xterm, Xvfb, xwd or xwdtopnm not installed";
    TempDir dir;
    write_file("box.fit", "Box\nX\nY\n5 1\n1\n1\n0\n0 0 1\n100 100 1\n");
    write_file("commands", "termin/s\ndata box\ndraw x\n0 100\n0 100\nexit\n");
    VirtualScreen screen;
    ASSERT_FALSE(screen.display().empty()) << read_file("xvfb.log");
    ASSERT_TRUE(screen.xterm(kXterm, "HOME=$PWD TARVA_LIB=" TARVA_SOURCE_DIR "/lib/ " + std::string(TARVA_BINARY) +
                                         " <commands >run.log 2>&1"));
    Image img;
    const Box box = screen.frame(img, 150);
    expect_box(img, box, false);
    const std::string log = read_file("run.log");
    // No word about the size or about sixel graphics.
    for (const char* said : {"did not report its size", "is not a terminal", "does not list sixel graphics"})
        EXPECT_EQ(log.find(said), std::string::npos) << log;
    EXPECT_NE(log.find("Ymin to Ymax"), std::string::npos) << log;
    EXPECT_GT(box.right - box.left, kBoxShare * kDefaultPicture.width + 20.0);
}

} // namespace
} // namespace tarva
