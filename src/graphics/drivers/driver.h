// The small interface every plot driver offers the device layer: begin a
// picture, take one vector, end the picture, close the output. The layer
// picks the driver by device code.
#pragma once

#include <string_view>

#include "text/fixed_text.h"

namespace tarva {

struct GraphicsState;
class OutputSink;

// What a driver may touch besides its own state: the shared graphics record
// (window, aspect ratio, character size, graphics-clear flag, terminal type)
// and the output sink for its messages.
struct DriverIo {
    GraphicsState& g;
    OutputSink& out;
};

class PlotDriver {
public:
    virtual ~PlotDriver() = default;
    // Starts a picture on the window stored in the graphics record. `option`
    // is the upper-cased device code; status becomes nonzero when the
    // picture cannot be drawn.
    virtual void begin_picture(DriverIo io, char option, float& status) = 0;
    // One move (pen 3) or draw (pen 2) to a world point.
    virtual void vector(DriverIo io, float x, float y, int pen) = 0;
    virtual void end_picture(DriverIo io) = 0;
    virtual void close(DriverIo io) = 0;
};

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
