// Terminals that show pictures inline: sixel graphics (xterm -ti vt340,
// foot, mlterm, WezTerm, Konsole, ...) and the kitty graphics protocol
// (kitty, WezTerm, Ghostty, Konsole), chosen with TERMIN/S and TERMIN/K.
// The picture is drawn through cairo on the PostScript page layout, at the
// terminal's size in pixels (terminal_query.h) times DEFINE/S's scale, and
// written to the plot destination when the device layer flushes the
// pictures (before the program waits for a person, at CLOSE and EXIT,
// before the next picture), so a burst of annotations sends one frame; the
// program's own text goes out first, and the prompt continues below the
// picture. These terminals have no graphic input here.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "graphics/drivers/cairo_picture.h"
#include "graphics/drivers/driver.h"
#include "graphics/drivers/page_layout.h"
#include "graphics/drivers/plot_destination.h"
#include "graphics/drivers/terminal_query.h"

namespace tarva {

enum class ImageProtocol { Sixel, Kitty };

// The picture when the terminal's size is not known (a file, or a terminal
// that does not answer): the page's shape, 800 pixels wide.
inline constexpr PixelSize kDefaultPicture{800, 618};
// No side of a picture is longer than this, whatever DEFINE/S asks.
inline constexpr int kMaxPicturePixels = 4096;
inline constexpr int kMinPicturePixels = 16;
// The thinnest line in pixels: a one-pixel line between two pixel rows
// shows on a screen as two rows of pale grey.
inline constexpr double kThinnestLine = 2.0;
// How the frames are drawn: sixel without antialiasing (every pixel one of
// the picture's colours: a small palette, long runs, a small frame, and
// half the drawing time), kitty with cairo's fast antialiasing (a PNG
// takes any colour).
inline constexpr Smoothing kSixelSmoothing = Smoothing::None;
inline constexpr Smoothing kKittySmoothing = Smoothing::Fast;
// How long a terminal has to answer the size query.
inline constexpr int kTerminalQueryMs = 500;

// The picture's size: the page's shape fitted into the terminal `window`
// (leaving the bottom rows for the prompt), or kDefaultPicture when the
// window is not known, times `scale` (DEFINE/S; zero, negative or not a
// number read as 1), limited to 16..4096 pixels a side. `limited` tells
// whether the limit cut it.
PixelSize picture_pixels(std::optional<PixelSize> window, float scale, bool& limited);

// Sixel data (DCS ... ST) for RGB pixels through libsixel, which chooses
// the palette (at most 256 colours) from the pixels and maps them to it;
// entries near the colours of a frame drawn without antialiasing (white,
// the picture colours, their error bands) are those colours exactly.
// Encoded for the smallest size. Empty when libsixel fails.
std::string encode_sixel(const std::vector<unsigned char>& rgb, int width, int height);

// The kitty graphics protocol's escape stream for a PNG file: base64 in
// chunks of 4096 characters, transmitted and shown at the cursor, the
// terminal's answers suppressed. Empty for an empty file.
std::string encode_kitty(const std::string& png);

std::string base64(std::string_view bytes);

class ImageTerminalDriver : public PlotDriver {
public:
    ImageTerminalDriver(PlotDestination& destination, ImageProtocol protocol)
        : destination_(destination), protocol_(protocol) {}

    // A picture with the clear flag set starts afresh; without it the new
    // strokes are drawn over the last picture.
    void begin_picture(DriverIo io, float& status) override;
    void vector(DriverIo io, float x, float y, int pen) override;
    void end_picture(DriverIo) override {}
    // Draws the picture with everything added since its start and sends
    // it, when it gained strokes since it was last sent.
    void flush(DriverIo io) override;
    void close(DriverIo io) override { flush(io); }
    // The scale sizes the picture; the offsets do not apply (the picture
    // goes where the cursor is).
    void set_placement(DriverIo io, float scale, float offx_mm, float offy_mm) override;
    void pen_changed(DriverIo io, int n, float width) override;
    void clear_screen(DriverIo io) override;
    bool styles_for_print() const override { return true; }
    void shade(DriverIo io, std::span<const std::pair<float, float>> outline) override;
    void window_changed(DriverIo io) override { t_ = page_transform(io.g, 1.0f, 0.0f, 0.0f); }

    // The last picture sent: its strokes in page units, its size and bytes.
    const StrokeList& strokes() const { return strokes_; }
    PixelSize last_size() const { return last_size_; }
    const std::string& last_picture() const { return last_; }
    // How many frames were drawn in this run.
    long frames() const { return frames_; }

private:
    TerminalSize ask_window();
    void report_size(DriverIo io, TerminalAnswer answer, PixelSize size, bool limited);

    PlotDestination& destination_;
    ImageProtocol protocol_;
    StrokeList strokes_;
    PageTransform t_;
    bool down_ = false;
    bool drawn_ = false;
    PicturePen pen_;
    // A destination that left the questions unanswered is not asked again
    // (each question costs the whole time-out); the size is read at every
    // picture, as the window may have changed.
    std::string unanswered_;
    // What was last said about the picture size, so it is said once.
    std::string reported_;
    // The destination last told that it may not show sixel graphics.
    std::string warned_;
    PixelSize last_size_{};
    std::string last_;
    long frames_ = 0;
};

} // namespace tarva
