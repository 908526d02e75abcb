#include "graphics/drivers/picture_file.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>

#include "graphics/graphics_state.h"
#include "io/output_sink.h"
#include "text/format.h"
#include "text/safe_file.h"

namespace tarva {

namespace {

constexpr int kHighestNumber = 99;

bool ends_with_nocase(std::string_view s, std::string_view tail) {
    if (s.size() < tail.size()) return false;
    return std::equal(tail.begin(), tail.end(), s.end() - static_cast<std::ptrdiff_t>(tail.size()),
                      [](char t, char c) { return std::tolower(static_cast<unsigned char>(c)) == t; });
}

std::string numbered_name(int n, PictureFormat f) {
    std::string d = format_I(n, 2);
    if (d[0] == ' ') d[0] = '0';
    return "plt" + d + extension_of(f);
}

// The number after the highest pltNN file of the format in the working
// directory: 1 when there is none, and again 1 after plt99.
int number_after_existing(PictureFormat f) {
    int highest = 0;
    std::error_code ec;
    for (int n = 1; n <= kHighestNumber; ++n)
        if (std::filesystem::exists(numbered_name(n, f), ec)) highest = n;
    return highest >= kHighestNumber ? 1 : highest + 1;
}

} // namespace

PictureFormat format_of_name(std::string_view name) {
    if (ends_with_nocase(name, ".svg")) return PictureFormat::Svg;
    if (ends_with_nocase(name, ".png")) return PictureFormat::Png;
    return PictureFormat::Pdf;
}

const char* extension_of(PictureFormat format) {
    switch (format) {
    case PictureFormat::Svg: return ".svg";
    case PictureFormat::Png: return ".png";
    case PictureFormat::Pdf: break;
    }
    return ".pdf";
}

void PictureFileDriver::set_file_name(std::string_view name) {
    const std::string_view t = trimmed(name);
    if (t.empty()) return;
    if (t.front() == '*') {
        defined_name_ = "";
        auto_format_ = format_of_name(t);
        return;
    }
    if (ends_with_nocase(t, ".pdf") || ends_with_nocase(t, ".svg") || ends_with_nocase(t, ".png"))
        defined_name_ = t;
    else
        defined_name_ = std::string(t) + ".pdf";
}

void PictureFileDriver::set_placement(DriverIo, float scale, float offx_mm, float offy_mm) {
    scale_ = scale;
    offx_ = offx_mm * 100.0f / 2.54f;
    offy_ = offy_mm * 100.0f / 2.54f;
}

void PictureFileDriver::pen_changed(DriverIo, int n, float width) { pen_.changed(n, width); }

std::string PictureFileDriver::next_automatic_name(PictureFormat format) {
    int& counter = counters_[static_cast<std::size_t>(format)];
    counter = counter == 0 ? number_after_existing(format) : (counter >= kHighestNumber ? 1 : counter + 1);
    return numbered_name(counter, format);
}

// Opens a new page: the next automatic name or DEFINE/X's. Only a name that
// can be written starts a picture; the probe (a temporary file beside it)
// leaves nothing behind.
bool PictureFileDriver::start_file(DriverIo io) {
    const bool automatic = defined_name_.blank();
    const PictureFormat format = automatic ? auto_format_ : format_of_name(defined_name_.trimmed());
    const std::string name = automatic ? next_automatic_name(format) : std::string(defined_name_.trimmed());
    open_ = false;
    dirty_ = false;
    strokes_.clear();
    {
        SafeFileWriter probe(name);
        if (!probe.open()) {
            io.out.line("Unable to open " + name + " for output.");
            return false;
        }
    }
    name_ = name;
    format_ = format;
    open_ = true;
    dirty_ = true; // even an empty page is a file
    if (format_ == PictureFormat::Png && png_scale() != scale_)
        io.out.line("PNG resolution limited to" + free_int(round_nearest(kPngDpi * png_scale())) + " pixels per inch.");
    return true;
}

void PictureFileDriver::begin_picture(DriverIo io, float& status) {
    if (open_ && dirty_) write_file(io);
    if ((!open_ || io.g.clear_flag) && !start_file(io)) {
        status = 1.0f;
        return;
    }
    t_ = page_transform(io.g, format_ == PictureFormat::Png ? 1.0f : scale_, offx_, offy_);
    if (t_.zero_range) io.out.line(" X or Y range is zero!");
    down_ = false;
    io.out.line("Plot written to: " + std::string(name_.trimmed()));
}

// DEFINE/X's scale as a PNG resolution factor; NaN and small or negative
// values read as the smallest.
float PictureFileDriver::png_scale() const {
    return scale_ >= kPngScaleMin ? std::min(scale_, kPngScaleMax) : kPngScaleMin;
}

void PictureFileDriver::vector(DriverIo io, float x, float y, int pen) {
    if (!open_) return;
    const float px = x * t_.ax + t_.bx, py = y * t_.ay + t_.by;
    if (pen == 2) down_ = true;
    if (pen == 3) down_ = false;
    if (down_)
        strokes_.draw(px, py, pen_.style(io.g, format_ == PictureFormat::Png ? 1.0f : scale_));
    else
        strokes_.move(px, py);
    dirty_ = true;
}

// Renders the page and replaces the file with it. A file that cannot be
// written keeps what it held (or stays absent); the strokes are kept, so the
// next command or CLOSE tries again.
void PictureFileDriver::write_file(DriverIo io) {
    const std::string bytes = render_file(strokes_, format_, kPngDpi * static_cast<double>(png_scale()));
    const std::string name(name_.trimmed());
    if (bytes.empty() || replace_file(name, bytes) != ReplaceStatus::Ok) {
        io.out.line("Unable to write " + name + ": the file was not changed.");
        return;
    }
    dirty_ = false;
}

void PictureFileDriver::end_picture(DriverIo io) {
    if (open_ && dirty_) write_file(io);
}

void PictureFileDriver::close(DriverIo io) {
    if (!open_) return;
    if (dirty_) write_file(io);
    open_ = false;
    strokes_.clear();
    if (dirty_) return; // said by write_file
    io.out.line(std::string(name_.trimmed()) + " file closed.");
}

} // namespace tarva
