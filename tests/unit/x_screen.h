// A virtual X screen for tests of what a terminal shows: Xvfb on a display
// it picks itself, xterm started on it with a shell command, and
// screenshots (xwd, xwdtopnm) searched for the frame of a picture.
// Everything it starts is ended when it goes. Tests skip without the tools
// (have_x_tools), and fail without them under CI.
#pragma once

#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "graphics/graphics_state.h"
#include "picture_images.h"
#include "plot/device.h"
#include "plot/plot.h"
#include "session/session.h"
#include "temp_dir.h"

namespace tarva::testing_support {

// A screenshot, as netpbm's reader in picture_images.h reads it.
using Image = Picture;

// A pixel of the screenshot dark enough to be a line (the mean of red,
// green and blue below 50).
inline bool dark(const Image& img, int x, int y) { return img.grey(x, y) < 50; }

// Longest run of dark pixels along a row (or column) that has light pixels
// on both sides, so the black screen around the window does not count.
inline int longest_framed_run(const Image& img, int index, bool row) {
    const int n = row ? img.width : img.height;
    int best = 0, run = 0;
    bool framed = false;
    for (int i = 0; i < n; ++i) {
        const bool d = row ? dark(img, i, index) : dark(img, index, i);
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

inline Box find_box(const Image& img, int min_len) {
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

inline pid_t read_pid(const std::string& file) {
    std::ifstream in(file);
    long pid = 0;
    in >> pid;
    return static_cast<pid_t>(pid);
}

inline bool have_x_tools() {
    for (const char* p : {"xterm", "Xvfb", "xwd", "xwdtopnm"})
        if (!have_program(p)) return false;
    return true;
}

// Xvfb on a free display, in the current directory (its files go there),
// with xterm windows started on it; both are ended at the end.
class VirtualScreen {
public:
    VirtualScreen() {
        if (std::system("(Xvfb -displayfd 3 -screen 0 1280x1024x24 -br -nolisten tcp 3>display.txt "
                        ">xvfb.log 2>&1 & echo $! >xvfb.pid)") != 0)
            return;
        for (int i = 0; i < 100 && display_.empty(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            std::istringstream d(read_file("display.txt"));
            d >> display_;
        }
        pids_.push_back(read_pid("xvfb.pid"));
    }
    ~VirtualScreen() {
        for (auto p = pids_.rbegin(); p != pids_.rend(); ++p)
            if (*p > 0) ::kill(*p, SIGTERM);
    }
    VirtualScreen(const VirtualScreen&) = delete;
    VirtualScreen& operator=(const VirtualScreen&) = delete;

    // Empty when the server did not start.
    const std::string& display() const { return display_; }

    // Starts xterm at the top left (unless `options` place it), running `command` (a
    // shell command; the window stays a minute after it ends). Its messages
    // go to xterm.log.
    bool xterm(const std::string& options, const std::string& command) {
        const std::string run = env() + "xterm -geometry +0+0 " + options + " -e sh -c '" + command +
                                "; sleep 60' >xterm.log 2>&1 & echo $! >xterm.pid";
        if (std::system(run.c_str()) != 0) return false;
        pids_.push_back(read_pid("xterm.pid"));
        return true;
    }

    // Screenshots, taken for up to ten seconds until one shows a frame of
    // lines at least `min_len` pixels long (two rows and two columns); the
    // last one is left in `img` and shot.ppm.
    Box frame(Image& img, int min_len) {
        Box box;
        for (int attempt = 0; attempt < 40; ++attempt) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            if (std::system(
                    (env() + "xwd -root -silent -out shot.xwd && xwdtopnm shot.xwd >shot.ppm 2>/dev/null").c_str()) !=
                0)
                continue;
            auto shot = read_pnm("shot.ppm");
            if (!shot) continue;
            img = std::move(*shot);
            box = find_box(img, min_len);
            if (box.rows >= 2 && box.cols >= 2) break;
        }
        return box;
    }

private:
    std::string env() const { return "DISPLAY=:" + display_ + " "; }

    std::string display_;
    std::vector<pid_t> pids_;
};

// True when a dark pixel lies within 4 pixels of (x, y).
inline bool dark_near(const Image& img, int x, int y) {
    for (int dy = -4; dy <= 4; ++dy)
        for (int dx = -4; dx <= 4; ++dx)
            if (x + dx >= 0 && y + dy >= 0 && x + dx < img.width && y + dy < img.height && dark(img, x + dx, y + dy))
                return true;
    return false;
}

// Writes a square box with a diagonal on terminal type `type` into `file`,
// shows the file in xterm (started with `xterm_options`) and returns the
// frame found on the screen (a box with no rows when the screen did not
// start). With TARVA_SCREENSHOT_DIR set the screenshot is kept there as
// `shot_name` (tools/check_xterm_tek.sh uses this).
inline Box show_box_in_xterm(int type, const std::string& file, const std::string& xterm_options,
                             const std::string& shot_name, Image& img) {
    {
        std::istringstream in;
        std::ostringstream out;
        Session s{in, out};
        s.graphics.terminal_type = type;
        open_destination(s, file);
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
    EXPECT_GT(std::filesystem::file_size(file), 20u);
    VirtualScreen screen;
    EXPECT_FALSE(screen.display().empty()) << read_file("xvfb.log");
    if (screen.display().empty() || !screen.xterm(xterm_options, "cat " + file)) return {};
    const Box box = screen.frame(img, 150);
    if (const char* keep = std::getenv("TARVA_SCREENSHOT_DIR"))
        std::filesystem::copy_file("shot.ppm", std::filesystem::path(keep) / shot_name,
                                   std::filesystem::copy_options::overwrite_existing);
    return box;
}

} // namespace tarva::testing_support
