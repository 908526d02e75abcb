// Where DRAW's settings reach the other graphics units: the axis routine,
// the terminal placement, the plot drivers and the plot destination.
#pragma once

#include "session/session.h"
#include "text/fixed_text.h"

namespace tarva {

// Axis settings with a value: K mark size, G gradations, I and J digits.
void draw_axis_value(Session& s, char key, double value);
// Axis on/off settings: 5 (five marks), L, M, R, U, V, W, X, Y.
void draw_axis_flag(Session& s, char key, bool on);
// DRAW/B: terminal box offsets (mm) and scale factor.
void draw_terminal_placement(Session& s, double scale, double offset_x_mm, double offset_y_mm);
// DRAW/C: n > 0 pen number, n < 0 line width -n; the drivers follow.
void draw_pen_changed(Session& s, int n);
// DRAW/E Q and DRAW/D Q: HPGL plots with the x-axis vertical or horizontal.
void draw_hpgl_orientation(Session& s, bool vertical);
// DRAW/Y: opens the default destination for terminal graphics.
void open_draw_destination(Session& s, const FixedText<50>& name);

} // namespace tarva
