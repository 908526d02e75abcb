#include "graphics/draw_links.h"

#include <algorithm>
#include <cmath>

namespace tarva {

void draw_axis_value(Session& s, char key, double value) {
    DrawSettings& d = s.draw;
    switch (key) {
    case 'K': d.mark_size = static_cast<float>(value); break;
    case 'G': d.gradations = static_cast<float>(value); break;
    case 'I': d.digits_x = static_cast<int>(std::lround(value)); break;
    case 'J': d.digits_y = static_cast<int>(std::lround(value)); break;
    default: break;
    }
}

void draw_axis_flag(Session&, char, bool) {}

void draw_terminal_placement(Session& s, double, double, double) {
    s.out().line("Terminal placement is not available yet.");
}

void draw_pen_changed(Session&, int) {}

void draw_hpgl_orientation(Session& s, bool) { s.out().line("HP-GL output is not available yet."); }

void open_draw_destination(Session& s, const FixedText<50>&) {
    s.out().line("Plot destinations are not available yet.");
}

} // namespace tarva
