#include "graphics/drivers/picture_file.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <filesystem>

#include "graphics/graphics_state.h"
#include "io/output_sink.h"
#include "text/format.h"
#include "text/safe_file.h"

namespace tarva {

namespace {

// Automatic numbers go on past plt99 (plt100, ...) up to the largest of
// nine digits.
constexpr int kHighestNumber = 999999999;

bool ends_with_nocase(std::string_view s, std::string_view tail) {
    if (s.size() < tail.size()) return false;
    return std::equal(tail.begin(), tail.end(), s.end() - static_cast<std::ptrdiff_t>(tail.size()),
                      [](char t, char c) { return std::tolower(static_cast<unsigned char>(c)) == t; });
}

// plt01 ... plt99, plt100, ...: two digits at least.
std::string numbered_name(int n, PictureFormat f) {
    std::string d = std::to_string(n);
    if (d.size() < 2) d.insert(0, "0");
    return "plt" + d + extension_of(f);
}

// The number of an automatic name of the format, 0 for any other name.
int number_of(std::string_view name, PictureFormat f) {
    const std::string_view ext = extension_of(f);
    if (name.size() <= 3 + ext.size() || name.substr(0, 3) != "plt" || !name.ends_with(ext)) return 0;
    const std::string_view digits = name.substr(3, name.size() - 3 - ext.size());
    int n = 0;
    if (digits.size() > 9 || std::from_chars(digits.data(), digits.data() + digits.size(), n).ptr != digits.end())
        return 0;
    return numbered_name(n, f) == name ? n : 0;
}

bool name_taken(const std::string& name) {
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::symlink_status(name, ec));
}

// The number after the highest automatic name of the format in the working
// directory, 1 when there is none.
int number_after_existing(PictureFormat f) {
    int highest = 0;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(".", ec); !ec && it != std::filesystem::directory_iterator();
         it.increment(ec))
        highest = std::max(highest, number_of(it->path().filename().string(), f));
    return highest < kHighestNumber ? highest + 1 : kHighestNumber + 1;
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

// Counts on in memory after the directory's highest number, stepping over
// a name that has appeared since (made by hand or by another run), so no
// picture is ever replaced. Empty when the numbers are used up.
std::string PictureFileDriver::next_automatic_name(PictureFormat format) {
    int& counter = counters_[static_cast<std::size_t>(format)];
    counter = counter == 0 ? number_after_existing(format) : std::min(counter, kHighestNumber) + 1;
    while (counter <= kHighestNumber && name_taken(numbered_name(counter, format))) ++counter;
    return counter <= kHighestNumber ? numbered_name(counter, format) : std::string();
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
    announce_ = false;
    strokes_.clear();
    if (name.empty()) {
        io.out.line("No picture number left after " + numbered_name(kHighestNumber, format) + ".");
        return false;
    }
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
    announce_ = true; // once the picture is in its file
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
    if (announce_) io.out.line("Plot written to: " + name);
    announce_ = false;
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
