#include "commands/graphics/draw/apply_settings.h"

#include <algorithm>
#include <cmath>

#include "graphics/axes.h"
#include "plot/device.h"

namespace tarva {

void draw_axis_value(Session& s, char key, double value) { (void)axis_setting(s.axes, key, false, value); }

void draw_axis_flag(Session& s, char key, bool on) { (void)axis_setting(s.axes, key, on, 0.0); }

void draw_terminal_placement(Session& s, double scale, double offset_x_mm, double offset_y_mm) {
    // Offsets beyond the terminal's 1024 addresses only move the box away.
    auto mm = [](double v) { return static_cast<float>(std::clamp(v, -1000.0, 1000.0)); };
    terminal_set_placement(s, static_cast<float>(std::min(scale, 100.0)), mm(offset_x_mm), mm(offset_y_mm));
}

void draw_pen_changed(Session& s, int n) { pen_changed(s, n, s.draw.line_width); }

void draw_hpgl_orientation(Session& s, bool vertical) { hpgl_set_orientation(s, vertical); }

void open_draw_destination(Session& s, const FixedText<50>& name) {
    (void)open_destination(s, std::string(name.trimmed()));
}

} // namespace tarva
