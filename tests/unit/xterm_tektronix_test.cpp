// A real consumer of the terminal output: xterm's Tektronix 4014 window,
// run under a virtual X server (x_screen.h), shows a picture the driver
// wrote; a screenshot is measured for the box. Skipped when xterm, Xvfb,
// xwd or xwdtopnm are missing. With TARVA_SCREENSHOT_DIR set, the screenshot is
// kept there (tools/check_xterm_tek.sh uses this).
#include <gtest/gtest.h>

#include <string>

#include "temp_dir.h"
#include "x_screen.h"

namespace tarva {
namespace {

using namespace testing_support;

// The box and its diagonal in xterm (started with `xterm_options`):
// two horizontal and two vertical edges, the aspect ratio sqrt 2 on screen
// (the box spans 845 by 597 terminal addresses), the diagonal.
void show_in_xterm(int type, const std::string& xterm_options, const std::string& shot_name) {
    TempDir dir;
    Image img;
    const Box box = show_box_in_xterm(type, "picture.tek", xterm_options, shot_name, img);
    ASSERT_GE(box.rows, 2) << read_file("xterm.log");
    ASSERT_GE(box.cols, 2);
    const double w = box.right - box.left, h = box.bottom - box.top;
    ASSERT_GT(h, 0);
    EXPECT_NEAR(w / h, 1.4142, 0.06) << w << " x " << h;
    EXPECT_TRUE(dark_near(img, (box.left + box.right) / 2, (box.top + box.bottom) / 2));
}

// Plain Tektronix bytes in xterm's Tektronix window.
TEST(XtermTektronix, ScreenshotShowsTheBoxWithItsAspectRatio) {
    if (!have_x_tools()) GTEST_SKIP() << "xterm, Xvfb, xwd or xwdtopnm not installed";
    show_in_xterm(1, "-t", "xterm_tek.ppm");
}

// Type 9 switches a text-mode xterm to its Tektronix window by itself.
TEST(XtermTektronix, TypeNineSwitchesATextXtermToGraphics) {
    if (!have_x_tools()) GTEST_SKIP() << "xterm, Xvfb, xwd or xwdtopnm not installed";
    show_in_xterm(9, "", "xterm_type9.ppm");
}

} // namespace
} // namespace tarva
