#include "graphics/drivers/picture_file.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "graphics/drivers/tektronix.h"
#include "graphics/graphics_state.h"
#include "io/output_sink.h"
#include "text/format.h"
#include "text/safe_file.h"

namespace tarva {

namespace {

bool ends_with_nocase(std::string_view s, std::string_view tail) {
    if (s.size() < tail.size()) return false;
    return std::equal(tail.begin(), tail.end(), s.end() - static_cast<std::ptrdiff_t>(tail.size()),
                      [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
}

const char* extension_of(PictureFormat f) {
    switch (f) {
    case PictureFormat::Svg: return ".svg";
    case PictureFormat::Png: return ".png";
    default: return ".pdf";
    }
}

std::string numbered_name(int n, PictureFormat f) {
    std::string d = format_I(n, 2);
    if (d[0] == ' ') d[0] = '0';
    return "plt" + d + extension_of(f);
}

// The number after the highest pltNN file of the format in the working
// directory (1 when there is none, and after 99).
int next_free_number(PictureFormat f) {
    int highest = 0;
    std::error_code ec;
    for (int n = 1; n <= 99; ++n)
        if (std::filesystem::exists(numbered_name(n, f), ec)) highest = n;
    return highest >= 99 ? 1 : highest + 1;
}

} // namespace

PictureFormat format_of_name(std::string_view name) {
    if (ends_with_nocase(name, ".svg")) return PictureFormat::Svg;
    if (ends_with_nocase(name, ".png")) return PictureFormat::Png;
    return PictureFormat::Pdf;
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

void PictureFileDriver::pen_changed(DriverIo, int n, float width) {
    if (n > 0) pen_ = n;
    if (n < 0) width_ = width;
}

bool PictureFileDriver::start_file(DriverIo io) {
    std::string name;
    PictureFormat format = auto_format_;
    if (defined_name_.blank()) {
        counter_ = counter_ == 0 ? next_free_number(format) : (counter_ >= 99 ? 1 : counter_ + 1);
        name = numbered_name(counter_, format);
    } else {
        name = std::string(defined_name_.trimmed());
        format = format_of_name(name);
    }
    open_ = false;
    strokes_.clear();
    {
        // Only a name that can be written starts a picture; the probe
        // leaves nothing behind.
        SafeFileWriter probe(name);
        if (!probe.open()) {
            io.out.line("Unable to open " + name + " for output.");
            return false;
        }
    }
    name_ = name;
    format_ = format;
    open_ = true;
    dirty_ = true;
    if (format_ == PictureFormat::Png && png_scale() != scale_)
        io.out.line("PNG scale factor limited to " + std::string(trimmed(format_F(png_scale(), 8, 2))) + ".");
    return true;
}

void PictureFileDriver::begin_picture(DriverIo io, float&) {
    if (open_ && dirty_) write_file(io);
    if ((!open_ || io.g.clear_flag) && !start_file(io)) return;
    // A PNG takes the scale as its resolution, so its picture fills the page.
    t_ = page_transform(io.g, format_ == PictureFormat::Png ? 1.0f : scale_, offx_, offy_);
    if (t_.zero_range) io.out.line(" X or Y range is zero!");
    down_ = false;
    io.out.line("Plot written to: " + std::string(name_.trimmed()));
}

// DEFINE/X's scale as a PNG resolution factor, NaN and tiny values read as
// the smallest.
float PictureFileDriver::png_scale() const {
    return scale_ >= kPngScaleMin ? std::min(scale_, kPngScaleMax) : kPngScaleMin;
}

StrokeStyle PictureFileDriver::style(const GraphicsState& g) const {
    StrokeStyle st;
    // The PostScript width: 5 units (0.005 inch) per unit of DRAW/C's width.
    st.width = 5.0f * (format_ == PictureFormat::Png ? 1.0f : scale_) * width_;
    if (!(st.width >= 0.0f)) st.width = 0.0f;
    st.width = std::min(st.width, 500.0f);
    st.colour = g.colour_enabled ? pen_palette_entry(pen_) : 0;
    st.dash = line_style_offset(g.line_style) / 10;
    return st;
}

void PictureFileDriver::vector(DriverIo io, float x, float y, int pen) {
    if (!open_) return;
    const float px = x * t_.ax + t_.bx, py = y * t_.ay + t_.by;
    if (pen == 2) down_ = true;
    if (pen == 3) down_ = false;
    if (down_)
        strokes_.draw(px, py, style(io.g));
    else
        strokes_.move(px, py);
    dirty_ = true;
}

void PictureFileDriver::write_file(DriverIo io) {
    dirty_ = false;
    const double dpi = kPngDpi * static_cast<double>(png_scale());
    const std::string bytes = render_file(strokes_, format_, dpi);
    const std::string name(name_.trimmed());
    if (bytes.empty() || replace_file(name, bytes) != ReplaceStatus::Ok) {
        io.out.line("Unable to write " + name + ".");
        open_ = false;
    }
}

void PictureFileDriver::end_picture(DriverIo io) {
    if (open_ && dirty_) write_file(io);
}

void PictureFileDriver::close(DriverIo io) {
    if (!open_) return;
    if (dirty_) write_file(io);
    if (!open_) return;
    open_ = false;
    strokes_.clear();
    io.out.line(std::string(name_.trimmed()) + " file closed.");
}

} // namespace tarva
