#include "graphics/drivers/hpgl.h"

#include <algorithm>
#include <cmath>
#include <unistd.h>

#include "graphics/graphics_state.h"
#include "io/output_sink.h"
#include "text/format.h"
#include "text/regular_file.h"
#include "text/safe_file.h"

namespace tarva {

namespace {

constexpr char ESC = 27;
// The box area inside the 10600 x 8100 plot field.
constexpr float kLeft = 1590.0f, kRight = 10070.0f, kBottom = 810.0f, kTop = 7290.0f;

// Steps the run number kept in the run-number file. False when the file
// could not be read or written.
bool step_run_number_file(int& run) {
    long long next = 1;
    {
        std::ifstream in;
        if (open_regular(in, kHpglRunNumberFile)) {
            std::string line;
            if (!std::getline(in, line)) return false;
            if (!line.empty() && line.back() == '\r') line.pop_back();
            auto v = read_integer_field(std::string_view(line).substr(0, std::min<std::size_t>(line.size(), 5)));
            if (!v) return false;
            next = *v + 1;
            if (next > 99999 || next < 1) next = 1;
        } else if (::access(kHpglRunNumberFile, F_OK) == 0) {
            return false; // a device, fifo or directory is never read
        }
    }
    // Replaced whole, so a full disk keeps the old number.
    if (replace_file(kHpglRunNumberFile, format_I(next, 5) + "\n") != ReplaceStatus::Ok) return false;
    run = static_cast<int>(next);
    return true;
}

// Plotter coordinate written in an I5 field: limited so that it fits.
int plotter_unit(float v) { return clamp_to_int(std::trunc(static_cast<double>(v) + 0.5), -9999, 99999); }

std::string point(int x, int y) { return format_I(x, 5) + "," + format_I(y, 5); }

} // namespace

void HpglDriver::set_file_name(std::string_view name) { define_file_name(defined_name_, name); }

void HpglDriver::pen_changed(DriverIo io, int n, float) { set_pen(io.out, n); }

void HpglDriver::set_placement(DriverIo, float scale, float offx_mm, float offy_mm) {
    scale_ = scale;
    offx_ = offx_mm / 0.025f;
    offy_ = offy_mm / 0.025f;
}

void HpglDriver::write_line(const std::string& text) { file_ << ' ' << text << '\n'; }

void HpglDriver::set_pen(OutputSink& out, int n) {
    if (n < 0) pen_width_ = 0.15f * static_cast<float>(std::min(-static_cast<long long>(n), 1000LL));
    if (n > 0) pen_number_ = n;
    if (!file_.is_open()) return;
    out.line("Setting pen width=" + format_F(pen_width_, 5, 2) + " colour=" + format_I(pen_number_, 2));
    write_line("PW" + format_F(pen_width_, 5, 2) + ";");
    write_line("SP" + format_I(pen_number_, 2) + ";");
}

void HpglDriver::set_orientation(OutputSink& out, bool vertical) {
    vertical_ = vertical;
    user_orientation_ = true;
    out.line(vertical ? "HP-GL mode with x-axis vertical." : "HP-GL mode with x-axis horizontal.");
}

void HpglDriver::report_failure(OutputSink& out) const { report_incomplete_plot(out, name_.trimmed()); }

// Writes the closing lines and closes the file; a file that did not reach
// the disk whole is reported as such. `announce` adds the closing report
// (CLOSE and EXIT); a file finished because the next picture starts a new
// one goes quietly, so DRAW says no more than it always has.
void HpglDriver::finish_file(OutputSink& out, bool announce) {
    file_ << '\n' << ' ' << ESC << "%0A" << '\n' << ' ' << ESC << 'E' << '\n';
    file_.close();
    const bool ok = !file_.fail();
    file_.clear();
    if (!ok) {
        report_failure(out);
        return;
    }
    if (!announce) return;
    out.line("HP-GL plot file closed: " + std::string(name_.trimmed()));
    out.line(vertical_ ? "Plot done with x-axis vertical" : "Plot done with x-axis horizontal");
}

bool HpglDriver::open_file(DriverIo io, char option) {
    if (file_.is_open() && !io.g.clear_flag) return true;
    // A file still open is finished with its closing lines before the next
    // one starts, so no truncated plot is left behind.
    if (file_.is_open()) finish_file(io.out, false);
    std::string name;
    if (defined_name_.blank()) {
        if (!step_run_number_file(run_)) {
            io.out.line("Error updating run number in hprun.hgl");
            run_ = (run_ >= 99999 || run_ < 0) ? 1 : run_ + 1;
        }
        name = std::string(1, option) + std::to_string(run_) + ".hgl";
    } else {
        name = std::string(defined_name_.trimmed());
        if (name.find('.') == std::string::npos) name += ".hgl";
    }
    name_ = name;
    io.out.line("Opening HP-GL plot file: " + name);
    file_.clear();
    file_.open(name, std::ios::out | std::ios::trunc | std::ios::binary);
    if (!file_.is_open()) {
        file_.clear();
        io.out.line("Unable to open " + name + " for output.");
        return false;
    }
    option_ = option;
    if (option == 'H') {
        write_line(std::string(1, ESC) + "E");
        write_line(std::string(1, ESC) + "%0B");
        write_line("TR1;");
        write_line("IN;");
    } else {
        const std::string e(1, ESC);
        write_line(e + ".(" + e + ".J" + e + ".K" + e + ".M:" + e + ".@;3:" + e + ".N:");
        write_line("IN;PU;");
        write_line("PW1;");
        write_line("VS18;");
    }
    write_line("SP1;");
    write_line("PW" + format_F(pen_width_, 5, 2) + ";");
    write_line("SP" + format_I(pen_number_, 2) + ";");
    write_line("PU0,0;");
    last_pen_ = 0;
    calls_ = 0;
    file_.flush(); // a full disk shows before the picture is announced
    return true;
}

void HpglDriver::begin_picture(DriverIo io, float& status) {
    const char option = io.device;
    io.out.line(std::string("Starting the generation of a HP-GL file: option ") + option);
    const GraphicsState& g = io.g;
    const float c = (kRight - kLeft) / (kTop - kBottom);
    float a = g.aspect;
    if (a <= 1e-5f || !std::isfinite(a)) a = c;
    float top = 0, right = 0;
    if (a < c) {
        top = kTop;
        right = a * (kTop - kBottom) + kLeft;
    } else {
        right = kRight;
        top = (kRight - kLeft) / a + kBottom;
    }
    const float yspan = g.ymax - g.ymin, xspan = g.xmax - g.xmin;
    if (!(std::fabs(top - kBottom) >= 1e-6f) || !(std::fabs(yspan) >= 1e-6f)) {
        io.out.line("Zero range on y-axis!");
        status = 1.0f;
        return;
    }
    if (!(right - kLeft > 1e-6f) || !(xspan > 1e-6f)) {
        io.out.line("Zero range on x-axis!");
        status = 1.0f;
        return;
    }
    sx_ = (right - kLeft) / xspan;
    bx_ = kLeft - sx_ * g.xmin;
    sy_ = (top - kBottom) / yspan;
    by_ = kBottom - sy_ * g.ymin;
    if (!open_file(io, option)) {
        status = 1.0f;
        return;
    }
    if (!file_.good()) {
        report_failure(io.out);
        status = 1.0f;
        return;
    }
    if (!user_orientation_) vertical_ = option == 'H';
    io.out.line(vertical_ ? "Making a plot with the x-axis vertical." : "Making a plot with the x-axis horizontal.");
}

void HpglDriver::vector(DriverIo, float x, float y, int pen) {
    if (!file_.is_open()) return;
    const float X = x * sx_ * scale_ + bx_;
    const float Y = y * sy_ * scale_ + by_;
    int px = 0, py = 0;
    if (vertical_) {
        px = plotter_unit(8100.0f - Y - offy_);
        py = plotter_unit(X + offx_);
    } else {
        px = plotter_unit(X + offx_);
        py = plotter_unit(Y + offy_);
    }
    if (++calls_ >= 5) {
        file_ << '\n';
        calls_ = 0;
    }
    if (pen == 3) {
        up_x_ = px;
        up_y_ = py;
    } else {
        if (last_pen_ == 3) file_ << " PU" << point(up_x_, up_y_);
        file_ << " PD" << point(px, py);
    }
    last_pen_ = pen;
}

void HpglDriver::end_picture(DriverIo io) {
    if (!file_.is_open()) return;
    file_.flush();
    if (!file_.good()) report_failure(io.out);
}

void HpglDriver::close(DriverIo io) {
    if (!file_.is_open()) return;
    finish_file(io.out, true);
    user_orientation_ = false;
}

} // namespace tarva
