// Terminals that show pictures inline: sixel graphics (xterm -ti vt340,
// foot, mlterm, WezTerm, Konsole, ...) and the kitty graphics protocol
// (kitty, WezTerm, Ghostty, Konsole). The picture is drawn through cairo on
// the PostScript page layout, at the terminal's size in pixels (asked from
// the terminal where it answers, else 800 x 618) times DEFINE/S's scale, and
// written to the plot destination when a drawing command ends; the prompt
// continues below it. These terminals have no graphic input here.
#pragma once

#include <string>
#include <vector>

#include "graphics/drivers/cairo_picture.h"
#include "graphics/drivers/driver.h"
#include "graphics/drivers/page_layout.h"
#include "graphics/drivers/plot_destination.h"
#include "graphics/drivers/terminal_query.h"

namespace tarva {

enum class ImageProtocol { Sixel, Kitty };

inline constexpr PixelSize kDefaultTerminalPixels{800, 618};
inline constexpr int kMaxTerminalPixels = 4096;
inline constexpr int kTerminalQueryMs = 500;

// The picture size for a terminal area (the page's shape fitted into it,
// leaving a few rows for the prompt) times `scale`, limited to 16..4096
// pixels a side. `limited` tells whether the limit cut it.
PixelSize picture_pixels(PixelSize area, float scale, bool& limited);

// Sixel data (DCS ... ST) for RGB pixels, through libsixel with a fixed
// palette of the picture colours and their blends with white. Empty when
// libsixel fails.
std::string encode_sixel(const std::vector<unsigned char>& rgb, int width, int height);

// The kitty graphics protocol's escape stream for a PNG file: base64 in
// chunks of 4096, transmitted and shown at the cursor, answers suppressed.
std::string encode_kitty(const std::string& png);

std::string base64(std::string_view bytes);

class ImageTerminalDriver : public PlotDriver {
public:
    ImageTerminalDriver(PlotDestination& destination, ImageProtocol protocol)
        : destination_(destination), protocol_(protocol) {}

    void begin_picture(DriverIo io, float& status) override;
    void vector(DriverIo io, float x, float y, int pen) override;
    void end_picture(DriverIo io) override;
    void close(DriverIo) override {}
    void set_placement(DriverIo io, float scale, float offx_mm, float offy_mm) override;
    void pen_changed(DriverIo io, int n, float width) override;
    void clear_screen(DriverIo io) override;

    // The bytes of the last picture sent (for tests and the benchmark).
    const std::string& last_picture() const { return last_; }
    // Forgets the terminal size, so the next picture asks again.
    void forget_size() { size_for_.clear(); }

private:
    PixelSize area(DriverIo io);

    PlotDestination& destination_;
    ImageProtocol protocol_;
    StrokeList strokes_;
    PageTransform t_;
    bool down_ = false;
    bool drawn_ = false;
    int pen_ = 0;
    float width_ = 1.0f;
    std::string size_for_; // the destination whose size is known
    PixelSize size_{};
    std::string last_;
};

} // namespace tarva
