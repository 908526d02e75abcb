// DRAW's residual panel (flag CR, this program's own): under the picture of
// device X and the image terminals, a panel sharing its X axis shows
// (Y - F(X))/SIGMA of the points inside the picture's X range, with a line
// at zero. The picture above keeps its Y axis and gives its X numbers and
// caption to the panel.
#pragma once

#include "commands/graphics/draw/limits.h"

namespace tarva {

struct Session;

// The part of the box the picture above the panel takes (from this
// fraction of its height to the top) and the part the panel takes (from
// the bottom to this fraction); the gap between holds the panel's top
// Y number.
inline constexpr float kMainPanelLow = 0.32f;
inline constexpr float kResidualPanelHigh = 0.25f;

// CR is on, the device draws in the print style and the current function
// has a model curve.
bool wants_residual_panel(Session& s, char device);

// Draws the panel under the picture whose box is `box`: frame, zero line,
// X and Y numbers, X caption, "(Y-F)/SIGMA" up its side, the residuals of
// the points with SIGMA other than zero (symbols, or a line through them
// where they stand closer than a symbol). The Y range is symmetric around
// zero, a tenth wider than the largest residual (at least 1).
void draw_residual_panel(Session& s, char device, const PlotLimits& box);

} // namespace tarva
