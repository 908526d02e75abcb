// The lines of a DRAW picture that go through the drawing primitive alone:
// the model curve, the connection lines of function 9, histograms and bar
// graphs (12, 13) and the dashed zero axes.
#pragma once

#include "commands/graphics/draw/limits.h"

namespace tarva {

struct Session;

// The line of the current function: connection lines (9), histogram (12),
// bar graph (13), nothing (5), or the model curve for every other function.
void draw_function_line(Session& s, char device, const PlotLimits& box);

// The model curve over the data range (G: the box, EX: widened), limited to
// the box, in the number of steps of DRAW/N, dash-space when set.
void draw_model_curve(Session& s, char device, const PlotLimits& box);

// Function 9: a line through the points in data order; sigma 3 starts a new
// piece; outside the box (unless J) points are moved onto it, pen up.
void draw_connection_lines(Session& s, char device, const PlotLimits& box);

// Functions 12 and 13: steps centred on each X reaching half-way to the
// neighbours; with bars, each step also stands on the bottom of the box.
void draw_histogram(Session& s, char device, const PlotLimits& box, bool bars);

// Dashed lines at x = 0 and y = 0 when they cross the box.
void draw_zero_axes(Session& s, char device, const PlotLimits& box);

} // namespace tarva
