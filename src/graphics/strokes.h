// A list of pen movements in world units, as the drawing routines of the
// fonts, axes and symbols produce them before they reach plot_pen.
#pragma once

#include <vector>

namespace tarva {

struct PenStep {
    float x;
    float y;
    int pen; // 3 move with the pen up, 2 draw
};

using Strokes = std::vector<PenStep>;

} // namespace tarva
