// The one interface every plot driver offers the device layer: the picture
// bracket and its vectors, closing the file at CLOSE and EXIT, and the
// settings DEFINE and DRAW hand to every device. The layer finds the driver
// of a device code in one table (graphics/drivers/device_table.h).
#pragma once

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "text/fixed_text.h"

namespace tarva {

struct GraphicsState;
class OutputSink;

// What a driver may touch besides its own state: the shared graphics record
// (window, aspect ratio, character size, line style, graphics-clear flag,
// terminal type), the output sink for its messages, and the device code the
// picture was asked for (upper case, blank read as 'S').
struct DriverIo {
    GraphicsState& g;
    OutputSink& out;
    char device = 'S';
};

// Reads one graphic-input report from the keyboard; nullopt when the read
// failed.
using ReportReader = std::function<std::optional<std::string>()>;

class PlotDriver {
public:
    virtual ~PlotDriver() = default;
    // Starts a picture on the window stored in the graphics record; status
    // becomes nonzero when the picture cannot be drawn.
    virtual void begin_picture(DriverIo io, float& status) = 0;
    // One move (pen 3) or draw (pen 2) to a world point. The Tektronix
    // terminal also reads line style and colour digits from the pen code.
    virtual void vector(DriverIo io, float x, float y, int pen) = 0;
    virtual void end_picture(DriverIo io) = 0;
    // CLOSE and EXIT: finishes the open file, if any.
    virtual void close(DriverIo io) = 0;
    // Writes out what the pictures gained since they were last written.
    // Device X and the image terminals render a whole page or frame at a
    // time, so they wait for this (the program about to wait for a person,
    // CLOSE, EXIT, the next picture) instead of rendering at every end of
    // a drawing; the other devices write as they draw.
    virtual void flush(DriverIo) {}

    // Device X and the image terminals: DRAW draws their pictures in the
    // print style while the graphics record's print_style is on.
    virtual bool styles_for_print() const { return false; }
    // Shades the area inside the outline (world units) lightly in the pen's
    // colour (the error band of dense data in the print style); devices
    // that draw only lines leave it out.
    virtual void shade(DriverIo, std::span<const std::pair<float, float>> /*outline*/) {}
    // The window or the panel of the open picture changed (DRAW's residual
    // panel): the mapping to the page follows it.
    virtual void window_changed(DriverIo) {}

    // DEFINE/c name: blank keeps the name, "*" goes back to automatic
    // naming. Devices without files ignore it.
    virtual void set_file_name(std::string_view) {}
    // DEFINE/c without a name: scale factor and offsets in mm.
    virtual void set_placement(DriverIo, float /*scale*/, float /*offx_mm*/, float /*offy_mm*/) {}
    // DRAW/C: n > 0 a pen colour, n < 0 a line width (`width`, already
    // made positive by DRAW).
    virtual void pen_changed(DriverIo, int /*n*/, float /*width*/) {}
    // Erases the screen of a terminal.
    virtual void clear_screen(DriverIo) {}
    // Graphic input: key and world point from a cursor report read with
    // `read`. False when the device has no graphic input.
    virtual bool cross_hair(DriverIo, const ReportReader& /*read*/, char& /*key*/, float& /*x*/, float& /*y*/) {
        return false;
    }
};

// A device that draws nothing: U (no output) and O (a device this site does
// not have, which says so on every picture). U answers graphic input at
// once with the key and point unchanged; O has none.
class NullDriver : public PlotDriver {
public:
    NullDriver(std::string_view picture_message, bool answers_cross_hair)
        : message_(picture_message), answers_cross_hair_(answers_cross_hair) {}
    void begin_picture(DriverIo io, float& status) override;
    void vector(DriverIo, float, float, int) override {}
    void end_picture(DriverIo) override {}
    void close(DriverIo) override {}
    bool cross_hair(DriverIo, const ReportReader&, char&, float&, float&) override { return answers_cross_hair_; }

private:
    std::string message_;
    bool answers_cross_hair_;
};

// Says on `out` that the plot file or destination `name` did not take all
// that was written to it (a full disk): every plot writer's one message.
void report_incomplete_plot(OutputSink& out, std::string_view name);

// Converts a device coordinate to an integer, first limiting it to [lo, hi]
// (NaN goes to lo), so no conversion can overflow.
inline int clamp_to_int(double v, int lo, int hi) {
    if (!(v >= lo)) return lo;
    if (v > hi) return hi;
    return static_cast<int>(v);
}

// DEFINE's plot-file name: a blank name keeps the current one, "*" goes
// back to automatic numbering, anything else becomes the name.
template <std::size_t N>
void define_file_name(FixedText<N>& field, std::string_view name) {
    const std::string_view t = trimmed(name);
    if (t.empty()) return;
    if (t == "*")
        field = "";
    else
        field = t;
}

} // namespace tarva
