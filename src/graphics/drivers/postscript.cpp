#include "graphics/drivers/postscript.h"

#include <algorithm>
#include <cmath>

#include "graphics/drivers/page_layout.h"
#include "graphics/graphics_state.h"
#include "io/output_sink.h"
#include "text/format.h"
#include "text/regular_file.h"
#include "text/safe_file.h"

namespace tarva {

namespace {

constexpr const char* kOpening[] = {
    "%!",
    "%%",
    "%% K.L. Postscript V1.1 (4/7/87)",
    "%%",
    "%% Scaling definitions for 8.5 by 11 inch paper at .001 inch",
    "%% resolution",
    "0.072 0.072 scale",
    "8500 0 translate 90 rotate",
    "%% Macro definitions",
    "/il { moveto } def",
    "/vl { lineto currentpoint stroke moveto } def",
    "/pt { moveto currentpoint currentpoint 1 0 360 arc",
    "stroke moveto } def",
    "/SLW { setlinewidth } def",
    "%% Default graphics rendition settings",
    "1 setlinejoin 1 setlinecap 1 SLW",
    "%% Beginning of first page",
    "newpath 0 0 moveto",
};

constexpr int kItem = 14;

// Reads the counter file: its first integer, or nullopt when the file is
// missing or does not hold one.
std::optional<long long> read_counter_file() {
    std::ifstream in;
    if (!open_regular(in, kPostScriptCounterFile)) return std::nullopt;
    std::string line;
    while (std::getline(in, line)) {
        std::size_t b = line.find_first_not_of(" \t\r,");
        if (b == std::string::npos) continue;
        std::size_t e = line.find_first_of(" \t\r,", b);
        std::string token = line.substr(b, e == std::string::npos ? std::string::npos : e - b);
        if (token.size() > 18) return std::nullopt;
        return read_integer_field(token);
    }
    return std::nullopt;
}

// Replaced whole through a checked temporary file: a full disk keeps the
// old counter instead of leaving an empty file that would restart the
// numbering and overwrite plt01.ps.
bool write_counter_file(int counter) {
    return replace_file(kPostScriptCounterFile, free_int(counter) + "\n") == ReplaceStatus::Ok;
}

std::string two_digits(int counter) {
    if (counter < 10) return "0" + std::to_string(counter);
    return std::to_string(counter);
}

int width_item_value(float base, float w) {
    const double v = std::floor(static_cast<double>(base) * w + 0.5);
    if (!(v >= 1.0)) return 1;
    if (v > 99.0) return 99;
    return static_cast<int>(v);
}

} // namespace

void PostScriptDriver::set_file_name(std::string_view name) { define_file_name(defined_name_, name); }

void PostScriptDriver::pen_changed(DriverIo, int n, float width) {
    if (n < 0) set_width(width);
}

void PostScriptDriver::set_placement(DriverIo, float scale, float offx_mm, float offy_mm) {
    scale_ = scale;
    offx_ = offx_mm * 100.0f / 2.54f;
    offy_ = offy_mm * 100.0f / 2.54f;
}

void PostScriptDriver::write_opening() {
    for (const char* l : kOpening) file_ << l << '\n';
}

void PostScriptDriver::write_width_line() {
    width_base_ = 5.0f * scale_;
    // The width line is written in full (I3), not limited as later changes are.
    const double v = std::trunc(static_cast<double>(width_base_) * width_ + 0.5);
    const int w = clamp_to_int(v, -99, 999);
    file_ << format_I(w, 3) << " SLW " << '\n';
    last_width_ = width_;
}

void PostScriptDriver::write_trailer() {
    flush_line();
    file_ << " showpage " << '\n' << '\x04' << '\n';
}

// Opens the next numbered file (or the DEFINE name): the counter steps from
// the counter file when `first`, from memory otherwise. The opening lines
// are flushed at once, so a full disk shows before a picture is announced.
void PostScriptDriver::open_numbered(DriverIo io, bool first) {
    if (first) {
        const int fallback = counter_;
        if (auto c = read_counter_file()) {
            long long v = *c + 1;
            if (v > 99) v = 1;
            counter_ = static_cast<int>(std::clamp<long long>(v, -1000, 1000));
        }
        counter_ = std::clamp(counter_, 1, 99);
        if (!write_counter_file(counter_)) {
            counter_ = fallback + 1;
            if (counter_ > 99 || counter_ < 1) counter_ = 1;
        }
    } else {
        if (counter_ > 98) counter_ = 0;
        counter_ = std::max(counter_ + 1, 1);
        write_counter_file(counter_);
    }
    name_ = defined_name_.blank() ? "plt" + two_digits(counter_) + ".ps" : std::string(defined_name_.trimmed());
    file_.clear();
    file_.open(std::string(name_.trimmed()), std::ios::out | std::ios::trunc | std::ios::binary);
    if (!file_.is_open()) {
        file_.clear();
        io.out.line("Unable to open " + std::string(name_.trimmed()) + " for output.");
        return;
    }
    line_.clear();
    slot_ = 1;
    write_opening();
    if (!first) {
        io.out.blank_line();
        io.out.line("New plot file " + std::string(name_.trimmed()) + " opened.");
        io.out.blank_line();
    }
    write_width_line();
    file_.flush();
}

void PostScriptDriver::report_failure(DriverIo io) const { report_incomplete_plot(io.out, name_.trimmed()); }

// Writes the ending and closes. False when some part of the file did not
// reach the disk.
bool PostScriptDriver::finish_file() {
    write_trailer();
    file_.close();
    const bool ok = !file_.fail();
    file_.clear();
    return ok;
}

void PostScriptDriver::begin_picture(DriverIo io, float& status) {
    if (!file_.is_open()) {
        open_numbered(io, true);
    } else {
        if (file_.good()) report(io);
        reset_extents();
        if (io.g.clear_flag) {
            const bool had_failed = !file_.good();
            if (!finish_file() && !had_failed) report_failure(io);
            open_numbered(io, false);
        }
    }
    // No file, or one that no longer takes what is written: the picture
    // is not drawn, and nothing claims it was.
    if (!file_.is_open()) {
        status = 1.0f;
        return;
    }
    if (!file_.good()) {
        report_failure(io);
        status = 1.0f;
        return;
    }
    const PageTransform t = page_transform(io.g, scale_, offx_, offy_);
    if (t.zero_range) io.out.line(" X or Y range is zero!");
    ax_ = t.ax;
    ay_ = t.ay;
    bx_ = t.bx;
    by_ = t.by;
    pen_down_ = false;
    io.out.line("Plot written to: " + std::string(name_.trimmed()));
}

void PostScriptDriver::add_item(const std::string& item) {
    line_ += pad(item, kItem);
    if (++slot_ > 5) flush_line();
}

void PostScriptDriver::flush_line() {
    if (!line_.empty() && file_.is_open()) file_ << line_ << '\n';
    line_.clear();
    slot_ = 1;
}

void PostScriptDriver::vector(DriverIo, float x, float y, int pen) {
    if (!file_.is_open()) return;
    const float dx = x * ax_ + bx_, dy = y * ay_ + by_;
    if (pen == 2) pen_down_ = true;
    if (pen == 3) pen_down_ = false;
    if (pen_down_) {
        min_x_ = std::min(min_x_, dx);
        max_x_ = std::max(max_x_, dx);
        min_y_ = std::min(min_y_, dy);
        max_y_ = std::max(max_y_, dy);
    }
    // Limited to the plot area; Y also to what its four columns can hold
    // (the page is 8500 high, so nothing visible is lost).
    const int ix = clamp_to_int(dx, 1, 11500);
    const int iy = clamp_to_int(dy, 1, 9999);
    if (std::fabs(width_ - last_width_) > 0.01f) {
        add_item(format_I(width_item_value(width_base_, width_), 3) + " SLW ");
        last_width_ = width_;
    }
    add_item(format_I(ix, 5) + " " + format_I(iy, 4) + (pen_down_ ? " vl " : " il "));
}

// The picture is complete on disk after each drawing command, or the
// user hears that it is not.
void PostScriptDriver::end_picture(DriverIo io) {
    if (!file_.is_open()) return;
    flush_line();
    file_.flush();
    if (!file_.good()) report_failure(io);
}

double PostScriptDriver::centre_x() const { return (5500.0 - (min_x_ + max_x_) / 2.0 + offx_) * 2.54 / 1000.0; }
double PostScriptDriver::centre_y() const { return (4250.0 - (min_y_ + max_y_) / 2.0 + offy_) * 2.54 / 1000.0; }

void PostScriptDriver::report(DriverIo io) const {
    io.out.blank_line();
    io.out.line(" X range (cm): " + format_F(min_x_ * 2.54 / 1000.0, 7, 1) + format_F(max_x_ * 2.54 / 1000.0, 7, 1));
    io.out.line(" Y range (cm): " + format_F(min_y_ * 2.54 / 1000.0, 7, 1) + format_F(max_y_ * 2.54 / 1000.0, 7, 1));
    io.out.blank_line();
    io.out.line(" Regular page X: 0-27.9  Y: 0-21.6");
    io.out.line(" Center offsets: " + format_F(centre_x(), 7, 1) + format_F(centre_y(), 7, 1));
    io.out.blank_line();
}

void PostScriptDriver::close(DriverIo io) {
    if (!file_.is_open()) return;
    if (!finish_file()) {
        report_failure(io);
        reset_extents();
        return;
    }
    io.out.blank_line();
    io.out.line(std::string(name_.trimmed()) + " file closed.");
    io.out.blank_line();
    io.out.line(" X range (cm): " + format_F(min_x_ * 2.54 / 1000.0, 7, 1) + format_F(max_x_ * 2.54 / 1000.0, 7, 1));
    io.out.line(" Y range (cm): " + format_F(min_y_ * 2.54 / 1000.0, 7, 1) + format_F(max_y_ * 2.54 / 1000.0, 7, 1));
    io.out.blank_line();
    io.out.line("Regular page X: 0-27.9  Y: 0-21.6 cm");
    io.out.line("Center offsets: " + format_F(centre_x(), 7, 1) + "," + format_F(centre_y(), 7, 1));
    io.out.blank_line();
    reset_extents();
}

void PostScriptDriver::reset_extents() {
    min_x_ = 11000;
    max_x_ = 0;
    min_y_ = 8500;
    max_y_ = 0;
}

} // namespace tarva
