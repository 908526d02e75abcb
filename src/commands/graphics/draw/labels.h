// What a DRAW picture writes around the data: title, macro name, axis
// captions, the legend sample with the data set name, the line of
// experimental parameters; and the data points themselves.
#pragma once

#include <string_view>

#include "commands/graphics/draw/limits.h"

namespace tarva {

struct Session;

// Title inside the top left of the box; with NM and a running macro, the
// macro name right-aligned on the top right corner.
void draw_title(Session& s, char device, const PlotLimits& box);

// X caption centred below the numbers (unless `x_caption` is false), Y
// caption turned up the left side, clear of the widest Y number.
void draw_captions(Session& s, char device, const PlotLimits& box, bool x_caption = true);

// The Y caption alone: `text` turned up the left side of the box.
void draw_y_caption(Session& s, char device, const PlotLimits& box, std::string_view text);

// The X caption alone, centred below the box.
void draw_x_caption(Session& s, char device, const PlotLimits& box);

// Symbols with error bars at the points inside the box (all points with
// J), filled with CL, and with N the legend sample of this overlay. In the
// print style, points closer together along X than a symbol is wide are
// drawn as a line through them with their error bars as a shaded band.
void draw_data_points(Session& s, char device, const PlotLimits& box);

// N: the data set name left of the legend symbols.
void draw_data_name(Session& s, char device, const PlotLimits& box);

// P: beam, calibration, detector, charge and normalisation above the box.
void draw_parameter_line(Session& s, char device, const PlotLimits& box);

// Width of the legend slot of one overlay, in world X units.
float legend_step(const Session& s);

} // namespace tarva
