#include "graphics/drivers/image_terminal.h"

#include <sixel.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "graphics/drivers/tektronix.h"
#include "graphics/graphics_state.h"
#include "io/output_sink.h"
#include "text/format.h"

namespace tarva {

namespace {

// The most colours a sixel frame's palette holds (what libsixel and the
// VT340-style terminals take).
constexpr int kSixelColours = 256;

// The colours of a frame drawn without antialiasing: white, each picture
// colour, and each picture colour's error band over white.
std::vector<unsigned char> frame_palette() {
    std::vector<unsigned char> p{255, 255, 255};
    for (int c = 0; c < kPaletteSize; ++c) {
        const Rgb rgb = palette_colour(c);
        for (int v : {rgb.r, rgb.g, rgb.b}) p.push_back(static_cast<unsigned char>(v));
    }
    for (int c = 0; c < kPaletteSize; ++c) {
        const Rgb rgb = palette_colour(c);
        for (int v : {rgb.r, rgb.g, rgb.b})
            p.push_back(static_cast<unsigned char>(std::lround(v * kBandOpacity + 255.0 * (1.0 - kBandOpacity))));
    }
    return p;
}

int append_sixel(char* data, int size, void* priv) {
    static_cast<std::string*>(priv)->append(data, static_cast<std::size_t>(size));
    return size;
}

} // namespace

PixelSize picture_pixels(std::optional<PixelSize> window, float scale, bool& limited) {
    constexpr double kShape = static_cast<double>(kPageHeight) / kPageWidth;
    double w = kDefaultPicture.width;
    if (window && window->width > 0 && window->height > 0) {
        // Room for the prompt: the picture takes at most 85% of the height.
        w = std::min<double>(window->width, window->height * 0.85 / kShape);
    }
    const double s = (scale > 0.0f && std::isfinite(scale)) ? scale : 1.0;
    w *= s;
    limited = !(w >= kMinPicturePixels && w <= kMaxPicturePixels);
    w = std::clamp(w, static_cast<double>(kMinPicturePixels), static_cast<double>(kMaxPicturePixels));
    return {static_cast<int>(std::lround(w)), static_cast<int>(std::lround(w * kShape))};
}

std::string encode_sixel(const std::vector<unsigned char>& rgb, int width, int height) {
    if (width < 1 || height < 1 || rgb.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3)
        return {};
    std::string out;
    sixel_output_t* output = nullptr;
    if (SIXEL_FAILED(sixel_output_new(&output, append_sixel, &out, nullptr))) return {};
    std::unique_ptr<sixel_output_t, void (*)(sixel_output_t*)> output_owner(output, sixel_output_unref);
    // The smallest encoding libsixel knows (it looks for the shortest runs
    // and colour order): the frame goes over the line to the terminal.
    sixel_output_set_encode_policy(output, SIXEL_ENCODEPOLICY_SIZE);
    // libsixel chooses the palette from the pixels (a frame drawn without
    // antialiasing has only a few colours) and maps every pixel to it
    // through its fast lookup table; no error diffusion, which would only
    // speckle the flat areas.
    sixel_dither_t* dither = nullptr;
    if (SIXEL_FAILED(sixel_dither_new(&dither, kSixelColours, nullptr))) return {};
    std::unique_ptr<sixel_dither_t, void (*)(sixel_dither_t*)> dither_owner(dither, sixel_dither_unref);
    auto* pixels = const_cast<unsigned char*>(rgb.data()); // libsixel does not write them
    if (SIXEL_FAILED(sixel_dither_initialize(dither, pixels, width, height, SIXEL_PIXELFORMAT_RGB888, SIXEL_LARGE_AUTO,
                                             SIXEL_REP_AUTO, SIXEL_QUALITY_AUTO)))
        return {};
    sixel_dither_set_diffusion_type(dither, SIXEL_DIFFUSE_NONE);
    // libsixel builds its palette from the colours cut to five bits a
    // channel (white came out as 97 % grey): each entry within that cut of
    // one of the frame's own colours is set back to it. (Giving libsixel
    // the frame's palette instead makes it search the palette for every
    // pixel, three times slower.)
    const int n = sixel_dither_get_num_of_palette_colors(dither);
    const unsigned char* chosen = sixel_dither_get_palette(dither);
    if (n <= 0 || !chosen) return {};
    std::vector<unsigned char> palette(chosen, chosen + 3 * n);
    const std::vector<unsigned char> own = frame_palette();
    for (int i = 0; i < n; ++i) {
        unsigned char* entry = &palette[3 * static_cast<std::size_t>(i)];
        for (std::size_t k = 0; k < own.size(); k += 3) {
            bool near = true;
            for (std::size_t c = 0; c < 3; ++c) near = near && std::abs(entry[c] - own[k + c]) <= 8;
            if (near) {
                std::copy_n(&own[k], 3, entry);
                break;
            }
        }
    }
    sixel_dither_set_palette(dither, palette.data());
    if (SIXEL_FAILED(sixel_encode(pixels, width, height, 3, dither, output))) return {};
    return out;
}

std::string base64(std::string_view bytes) {
    static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) |
                           (static_cast<unsigned char>(bytes[i + 1]) << 8) | static_cast<unsigned char>(bytes[i + 2]);
        for (int s = 18; s >= 0; s -= 6) out.push_back(kDigits[(v >> s) & 63]);
    }
    const std::size_t rest = bytes.size() - i;
    if (rest > 0) {
        unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
        if (rest == 2) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        out.push_back(kDigits[(v >> 18) & 63]);
        out.push_back(kDigits[(v >> 12) & 63]);
        out.push_back(rest == 2 ? kDigits[(v >> 6) & 63] : '=');
        out.push_back('=');
    }
    return out;
}

std::string encode_kitty(const std::string& png) {
    const std::string data = base64(png);
    std::string out;
    // Every chunk but the last holds 4096 characters (a multiple of 4, as
    // the protocol asks); the first carries the keys: transmit and show a
    // PNG, no answers.
    constexpr std::size_t kChunk = 4096;
    for (std::size_t i = 0; i < data.size(); i += kChunk) {
        const bool more = i + kChunk < data.size();
        out += i == 0 ? "\x1b_Ga=T,f=100,q=2,m=" : "\x1b_Gm=";
        out += more ? "1;" : "0;";
        out.append(data, i, kChunk);
        out += "\x1b\\";
    }
    return out;
}

void ImageTerminalDriver::set_placement(DriverIo io, float scale, float offx_mm, float offy_mm) {
    set_terminal_placement(io.g, scale, offx_mm, offy_mm);
}

void ImageTerminalDriver::pen_changed(DriverIo, int n, float width) { pen_.changed(n, width); }

void ImageTerminalDriver::begin_picture(DriverIo io, float&) {
    flush(io); // the last picture is shown before the next one begins
    if (io.g.clear_flag) strokes_.clear();
    t_ = page_transform(io.g, 1.0f, 0.0f, 0.0f);
    down_ = false;
    drawn_ = true;
}

void ImageTerminalDriver::vector(DriverIo io, float x, float y, int pen) {
    const float px = x * t_.ax + t_.bx, py = y * t_.ay + t_.by;
    if (pen == 2) down_ = true;
    if (pen == 3) down_ = false;
    if (down_)
        strokes_.draw(px, py, pen_.style(io.g, 1.0f));
    else
        strokes_.move(px, py);
    drawn_ = true;
}

void ImageTerminalDriver::shade(DriverIo io, std::span<const std::pair<float, float>> outline) {
    std::vector<std::pair<float, float>> page;
    page.reserve(outline.size());
    for (const auto& [x, y] : outline) page.emplace_back(x * t_.ax + t_.bx, y * t_.ay + t_.by);
    strokes_.fill(std::move(page), FillStyle{palette_colour(pen_.style(io.g, 1.0f).colour), kBandOpacity});
    drawn_ = true;
}

// Asks the destination for its window in pixels; a destination that left
// the questions unanswered is not asked again (the kernel's window size is
// still read).
TerminalSize ImageTerminalDriver::ask_window() {
    const std::string dest(destination_.name());
    const int timeout = dest == unanswered_ ? 0 : kTerminalQueryMs;
    const TerminalSize t = query_terminal_pixels(dest, protocol_ == ImageProtocol::Sixel, timeout);
    if (t.silent) unanswered_ = dest;
    return t;
}

namespace {

std::string pixels_text(PixelSize p) { return free_int(p.width) + " x" + free_int(p.height) + " pixels."; }

} // namespace

// Says where the size came from when it is not the terminal's own, and
// when the limit cut it; each thing once, until it changes.
void ImageTerminalDriver::report_size(DriverIo io, TerminalAnswer answer, PixelSize size, bool limited) {
    const std::string dest(destination_.name());
    std::string text;
    if (limited)
        text = "Picture size limited to" + pixels_text(size);
    else if (answer == TerminalAnswer::NoAnswer)
        text = "The terminal " + dest + " did not report its size: the picture is" + pixels_text(size);
    else if (answer == TerminalAnswer::NotTerminal)
        text = "The plot destination " + dest + " is not a terminal: the picture is" + pixels_text(size);
    if (!text.empty() && text != reported_) io.out.line(text);
    reported_ = text;
}

void ImageTerminalDriver::flush(DriverIo io) {
    if (!drawn_) return;
    drawn_ = false;
    // Nowhere to send it: the destination layer has said why.
    if (!destination_.is_open()) return;
    const TerminalSize window = ask_window();
    const bool known = window.answer == TerminalAnswer::Answered;
    bool limited = false;
    const PixelSize p = picture_pixels(known ? std::optional(window.size) : std::nullopt, io.g.terminal_scale, limited);
    report_size(io, window.answer, p, limited);
    if (window.no_sixel && warned_ != destination_.name()) {
        warned_ = destination_.name();
        io.out.line("The terminal " + warned_ +
                    " does not list sixel graphics among its features: the picture may not show.");
    }
    last_size_ = p;
    ++frames_;
    last_ =
        protocol_ == ImageProtocol::Sixel
            ? encode_sixel(render_rgb(strokes_, p.width, p.height, kThinnestLine, kSixelSmoothing), p.width, p.height)
            : encode_kitty(render_png(strokes_, p.width, p.height, kThinnestLine, kKittySmoothing));
    if (last_.empty()) {
        io.out.line("Unable to draw the picture.");
        return;
    }
    // The cursor ends on the picture's last row: the prompt goes below it.
    last_ += "\r\n";
    // What the program printed before the picture appears above it, also
    // when the text goes through another stream than the picture.
    io.out.flush();
    destination_.write(last_);
}

void ImageTerminalDriver::clear_screen(DriverIo io) {
    flush(io); // a picture drawn before the clearing is shown before it
    std::string bytes = "\x1b[H\x1b[2J";
    if (protocol_ == ImageProtocol::Kitty) bytes += "\x1b_Ga=d,q=2\x1b\\";
    destination_.write(bytes);
}

} // namespace tarva
