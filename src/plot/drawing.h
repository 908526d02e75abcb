// Strokes, text, the frame and axes, and symbols drawn on a device of the
// session: the pure layouts of graphics/ handed to plot_pen with the
// session's plot unit, window, fonts and flags.
#pragma once

#include <string_view>

#include "graphics/strokes.h"

namespace tarva {

struct Session;

// Hands every step to plot_pen on the device.
void plot_strokes(Session& s, char device, const Strokes& strokes);

// Draws the text on the device with the current plot unit and default font.
// Size 0 or an all-blank text draws nothing.
void draw_text(Session& s, char device, float x, float y, float size, float angle, std::string_view text);

// Width in world X units of the text drawn at angle 0.
float text_width(const Session& s, float size, std::string_view text);

// Stores the plot window of the picture (spans and left margin with it).
void set_window(Session& s, float xmin, float xmax, float ymin, float ymax);
// Stores the window and draws the frame.
void draw_box(Session& s, char device, float xmin, float xmax, float ymin, float ymax);
// Marks and numbers on both axes of the current window; nx, ny numbers
// wanted along X and Y, size the character size factor, ylog a decade Y axis
// (the X axis follows the X setting).
void draw_axes(Session& s, char device, int nx, int ny, float size, bool ylog);
bool axis_setting(Session& s, char key, bool flag, double value);

// Sets the symbol unit (DRAW does it before and after a picture begins).
void set_symbol_unit(Session& s, float unit_x, float unit_y);

// Draws a symbol and its error bar with the session's symbol unit, plot
// window and error-bar flags (DRAW ER, H, Z, X and Y).
void draw_symbol(Session& s, char device, float x, float y, float err, int symbol, float size);

} // namespace tarva
