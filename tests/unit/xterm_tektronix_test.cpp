// A real consumer of the terminal output: xterm's Tektronix 4014 window,
// run under a virtual X server, shows a picture the driver wrote; a
// screenshot is measured for the box. Skipped when xterm, Xvfb, xwd or
// xwdtopnm are missing. With TARVA_SCREENSHOT_DIR set, the screenshot is
// kept there (tools/check_xterm_tek.sh uses this).
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "plot/device.h"
#include "plot/plot.h"
#include "session/session.h"
#include "temp_dir.h"

namespace tarva {
namespace {

using testing_support::have_program;
using testing_support::read_file;
using testing_support::TempDir;

struct Image {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;
    bool dark(int x, int y) const {
        const unsigned char* p = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
        return p[0] + p[1] + p[2] < 150;
    }
};

// Reads a binary PPM (P6, maxval 255).
bool read_ppm(const std::string& file, Image& img) {
    std::ifstream in(file, std::ios::binary);
    std::string magic;
    int maxval = 0;
    if (!(in >> magic >> img.width >> img.height >> maxval) || magic != "P6" || maxval != 255) return false;
    if (img.width <= 0 || img.height <= 0 || img.width > 10000 || img.height > 10000) return false;
    in.get();
    img.rgb.resize(static_cast<std::size_t>(img.width) * img.height * 3);
    in.read(reinterpret_cast<char*>(img.rgb.data()), static_cast<std::streamsize>(img.rgb.size()));
    return static_cast<bool>(in);
}

// Longest run of dark pixels along a row (or column) that has light pixels
// on both sides, so the black screen around the window does not count.
int longest_framed_run(const Image& img, int index, bool row) {
    const int n = row ? img.width : img.height;
    int best = 0, run = 0;
    bool framed = false;
    for (int i = 0; i < n; ++i) {
        const bool d = row ? img.dark(i, index) : img.dark(index, i);
        if (d) {
            ++run;
        } else {
            if (framed && run > best) best = run;
            run = 0;
            framed = true;
        }
    }
    return best;
}

struct Box {
    int rows = 0, cols = 0; // lines found
    int top = -1, bottom = -1, left = -1, right = -1;
};

Box find_box(const Image& img, int min_len) {
    Box b;
    for (int y = 0; y < img.height; ++y)
        if (longest_framed_run(img, y, true) >= min_len) {
            if (b.top < 0 || y > b.bottom + 1) ++b.rows;
            if (b.top < 0) b.top = y;
            b.bottom = y;
        }
    for (int x = 0; x < img.width; ++x)
        if (longest_framed_run(img, x, false) >= min_len) {
            if (b.left < 0 || x > b.right + 1) ++b.cols;
            if (b.left < 0) b.left = x;
            b.right = x;
        }
    return b;
}

pid_t read_pid(const std::string& file) {
    std::ifstream in(file);
    long pid = 0;
    in >> pid;
    return static_cast<pid_t>(pid);
}

// Writes the picture for terminal type `type`, shows it in xterm (started
// with `xterm_options`) and checks the screenshot.
void show_in_xterm(int type, const std::string& xterm_options, const std::string& shot_name) {
    TempDir dir;
    {
        std::istringstream in;
        std::ostringstream out;
        Session s{in, out};
        s.graphics.terminal_type = type;
        open_destination(s, "picture.tek");
        float status = 0;
        begin_plot(s, kSqrt2, 'S', 0, 100, 0, 100, status);
        plot_pen(s, 'S', 0, 0, 3);
        plot_pen(s, 'S', 100, 0, 2);
        plot_pen(s, 'S', 100, 100, 2);
        plot_pen(s, 'S', 0, 100, 2);
        plot_pen(s, 'S', 0, 0, 2);
        plot_pen(s, 'S', 100, 100, 2);
        end_plot(s, 'S');
        close_plot_files(s, 'S');
    }
    ASSERT_GT(std::filesystem::file_size("picture.tek"), 20u);
    // A free display chosen by the server itself.
    ASSERT_EQ(std::system("(Xvfb -displayfd 3 -screen 0 1280x1024x24 -br -nolisten tcp 3>display.txt "
                          ">xvfb.log 2>&1 & echo $! >xvfb.pid)"),
              0);
    std::string display;
    for (int i = 0; i < 100 && display.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        std::istringstream d(read_file("display.txt"));
        d >> display;
    }
    const pid_t xvfb = read_pid("xvfb.pid");
    struct Stop {
        std::vector<pid_t> pids;
        ~Stop() {
            for (pid_t p : pids)
                if (p > 0) ::kill(p, SIGTERM);
        }
    } stop{{xvfb}};
    ASSERT_FALSE(display.empty()) << read_file("xvfb.log");
    const std::string env = "DISPLAY=:" + display + " ";
    ASSERT_EQ(std::system((env + "xterm " + xterm_options +
                           " -geometry +0+0 -e sh -c 'cat picture.tek; sleep 60' >xterm.log 2>&1 & "
                           "echo $! >xterm.pid")
                              .c_str()),
              0);
    stop.pids.insert(stop.pids.begin(), read_pid("xterm.pid"));
    Image img;
    Box box;
    for (int attempt = 0; attempt < 40; ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        if (std::system((env + "xwd -root -silent -out shot.xwd && xwdtopnm shot.xwd >shot.ppm 2>/dev/null").c_str()) !=
            0)
            continue;
        if (!read_ppm("shot.ppm", img)) continue;
        box = find_box(img, 150);
        if (box.rows >= 2 && box.cols >= 2) break;
    }
    if (const char* keep = std::getenv("TARVA_SCREENSHOT_DIR"))
        std::filesystem::copy_file("shot.ppm", std::filesystem::path(keep) / shot_name,
                                   std::filesystem::copy_options::overwrite_existing);
    // Two horizontal and two vertical edges.
    ASSERT_GE(box.rows, 2) << read_file("xterm.log");
    ASSERT_GE(box.cols, 2);
    // The box spans 845 by 597 terminal addresses: aspect sqrt 2 on screen.
    const double w = box.right - box.left, h = box.bottom - box.top;
    ASSERT_GT(h, 0);
    EXPECT_NEAR(w / h, 1.4142, 0.06) << w << " x " << h;
    // The diagonal: dark pixels near the middle of the box.
    const int cx = (box.left + box.right) / 2, cy = (box.top + box.bottom) / 2;
    bool diagonal = false;
    for (int dy = -4; dy <= 4 && !diagonal; ++dy)
        for (int dx = -4; dx <= 4 && !diagonal; ++dx) diagonal = img.dark(cx + dx, cy + dy);
    EXPECT_TRUE(diagonal);
}

bool have_x_tools() {
    for (const char* p : {"xterm", "Xvfb", "xwd", "xwdtopnm"})
        if (!have_program(p)) return false;
    return true;
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
