// Dense data drawn as a line with a shaded band: where the points of a
// picture stand closer together along X than a symbol is wide, symbols and
// error bars would merge into a dark band that hides the fitted curve, so
// the print style draws a line through the points and the error bars as
// the area between y - e and y + e instead.
#pragma once

#include <span>
#include <utility>
#include <vector>

#include "graphics/strokes.h"
#include "graphics/symbols.h"

namespace tarva {

struct BandPoint {
    float x, y, err;
};

// True when the median distance along X between neighbouring points (taken
// in X order) is below `symbol_width`; fewer than three points are never
// dense.
bool denser_than_symbols(std::span<const BandPoint> points, float symbol_width);

// The line and the band of the points, both in X order (the points are
// sorted here): the line breaks (pen up) at a point outside the window's Y
// range; the band is one outline per run of points, the upper ends of the
// error bars forwards and the lower ends back, limited to the window (on a
// decade scale the ends are those of the error bars, as the symbols draw
// them). Points outside the window's X range are left out.
struct BandLayout {
    Strokes line;
    std::vector<std::vector<std::pair<float, float>>> areas;
};
BandLayout layout_band(std::vector<BandPoint> points, const SymbolFrame& window, bool log_y);

} // namespace tarva
