// Dashed guide lines across a picture: the zero axes of DRAW and the marker
// lines other commands put on the last picture.
#pragma once

#include "commands/graphics/draw/limits.h"

namespace tarva {

struct Session;

// A dashed vertical line at x from the top of the box down to the bottom in
// 75 pieces (pen down first), and a dashed horizontal line at y from the
// right edge to the left one in 100 pieces. They draw wherever x or y is;
// the callers decide whether it lies in the box.
void draw_dashed_vertical(Session& s, char device, const PlotLimits& box, float x);
void draw_dashed_horizontal(Session& s, char device, const PlotLimits& box, float y);

// Guide lines on the last picture (its device and old limits): at X = v or
// Y = v when v lies within that picture's limits, nothing otherwise or when
// no picture has been drawn. Returns whether a line was drawn.
bool draw_guide_x(Session& s, float v);
bool draw_guide_y(Session& s, float v);

} // namespace tarva
