#include "commands/graphics/draw/guide_line.h"

#include <algorithm>

#include "plot/plot.h"
#include "session/session.h"

namespace tarva {

namespace {

// Pieces alternate between drawn and skipped, the first one drawn.
int piece_pen(int i) { return i % 2 == 1 ? 2 : 3; }

bool within(float v, float a, float b) { return std::min(a, b) <= v && v <= std::max(a, b); }

PlotLimits last_box(const Session& s) {
    const DrawSettings& d = s.draw;
    return {d.old_xmin, d.old_xmax, d.old_ymin, d.old_ymax};
}

} // namespace

void draw_dashed_vertical(Session& s, char device, const PlotLimits& box, float x) {
    const float piece = (box.ymax - box.ymin) / 75.0f;
    plot_pen(s, device, x, box.ymax, 3);
    for (int i = 1; i <= 75; ++i) plot_pen(s, device, x, box.ymax - static_cast<float>(i) * piece, piece_pen(i));
}

void draw_dashed_horizontal(Session& s, char device, const PlotLimits& box, float y) {
    const float piece = (box.xmax - box.xmin) / 100.0f;
    plot_pen(s, device, box.xmax, y, 3);
    for (int i = 1; i <= 100; ++i) plot_pen(s, device, box.xmax - static_cast<float>(i) * piece, y, piece_pen(i));
}

bool draw_guide_x(Session& s, float v) {
    const PlotLimits box = last_box(s);
    if (!s.draw.picture_drawn || !within(v, box.xmin, box.xmax)) return false;
    draw_dashed_vertical(s, s.draw.last_device, box, v);
    return true;
}

bool draw_guide_y(Session& s, float v) {
    const PlotLimits box = last_box(s);
    if (!s.draw.picture_drawn || !within(v, box.ymin, box.ymax)) return false;
    draw_dashed_horizontal(s, s.draw.last_device, box, v);
    return true;
}

} // namespace tarva
