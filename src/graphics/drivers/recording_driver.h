// A driver that keeps every picture event as a list instead of drawing, for
// tests of anything that draws through the device layer. Install it with
// `s.graphics.recorder = &rec;`: the device table then hands it every
// begin_plot, vector and end_plot of any device (the layer's pen memory,
// thick lines and window still work as for a real device).
#pragma once

#include <vector>

#include "graphics/drivers/driver.h"
#include "graphics/graphics_state.h"

namespace tarva {

struct RecordedEvent {
    enum Kind { Begin, Vector, End, Shade };
    Kind kind;
    char device;        // the device code of the call (upper case)
    float x = 0, y = 0; // a vector's point; a shaded area's first corner
    int pen = 0;        // the pen as plot_pen or the thick-line routine sent it; a shaded area's corners
    int line_style = 0; // DRAW's line style in force for the vector
    StrokeRole role = StrokeRole::Frame;
};

struct RecordedVector {
    float x, y;
    int pen;
    friend bool operator==(const RecordedVector&, const RecordedVector&) = default;
};

class RecordingDriver : public PlotDriver {
public:
    std::vector<RecordedEvent> events;
    // Stands in for a device that draws in the print style (device X, the
    // image terminals) when set.
    bool print_device = false;
    bool styles_for_print() const override { return print_device; }
    void shade(DriverIo io, std::span<const std::pair<float, float>> outline) override {
        if (outline.empty()) return;
        events.push_back({RecordedEvent::Shade, io.device, outline[0].first, outline[0].second,
                          static_cast<int>(outline.size()), 0, io.g.stroke_role});
    }

    void begin_picture(DriverIo io, float&) override { events.push_back({RecordedEvent::Begin, io.device}); }
    void vector(DriverIo io, float x, float y, int pen) override {
        events.push_back({RecordedEvent::Vector, io.device, x, y, pen, io.g.line_style, io.g.stroke_role});
    }
    void end_picture(DriverIo io) override { events.push_back({RecordedEvent::End, io.device}); }
    void close(DriverIo) override {}

    // Only the vectors, in order.
    std::vector<RecordedVector> vectors() const {
        std::vector<RecordedVector> v;
        for (const auto& e : events)
            if (e.kind == RecordedEvent::Vector) v.push_back({e.x, e.y, e.pen});
        return v;
    }
    int count(RecordedEvent::Kind kind) const {
        int n = 0;
        for (const auto& e : events) n += e.kind == kind;
        return n;
    }
    void clear() { events.clear(); }
};

} // namespace tarva
