// A driver that keeps every picture event as a list instead of drawing, for
// tests of anything that draws through the device layer. Install it with
// `s.graphics.recorder = &rec;` and every begin_plot, vector and end_plot of
// any device lands in rec.events (the layer's pen memory, thick lines and
// window still work as for a real device).
#pragma once

#include <vector>

namespace tarva {

struct RecordedEvent {
    enum Kind { Begin, Vector, End };
    Kind kind;
    char device;     // the device code as the layer received it
    float x = 0, y = 0;
    int pen = 0;        // the pen as plot_pen or the thick-line routine sent it
    int driver_pen = 0; // the pen the device's driver receives (style offset added for the terminal)
};

struct RecordedVector {
    float x, y;
    int pen;
    friend bool operator==(const RecordedVector&, const RecordedVector&) = default;
};

class RecordingDriver {
public:
    std::vector<RecordedEvent> events;

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
