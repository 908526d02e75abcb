// The drawing primitive and picture bracket every drawing routine uses.
// Coordinates are world (data) units in single precision; pen 3 moves with
// the pen up, 2 draws.
//
// Device codes (either case; graphics/drivers/device_table.h): 'S' (or blank)
// terminal, 'Q' PostScript, 'P' and 'H' HP-GL, 'U' no output, 'O' not
// available; any other code is treated as the terminal.
#pragma once

#include <span>
#include <utility>

#include "graphics/graphics_state.h"

namespace tarva {

struct Session;

// Pen codes are at most three digits and a sign: the terminal reads them as
// colour, line style and action, a minus clearing the screen first. A code
// beyond that is no pen code: plot_pen and device_vector ignore it.
inline constexpr int kLargestPenCode = 999;
constexpr bool valid_pen_code(int pen) { return pen >= -kLargestPenCode && pen <= kLargestPenCode; }

// Moves or draws the pen; a run of moves emits only the last one, and a draw
// is widened by the THICK setting.
void plot_pen(Session& s, char device, float x, float y, int pen);
// Hands one move or draw straight to the device's driver.
void device_vector(Session& s, char device, float x, float y, int pen);
// Size in world units of one plot unit along X and along Y.
void plot_unit_size(const Session& s, float& ux, float& uy);

// Starts a picture on the device with the given window and aspect ratio
// (box width over height). status is set to 0, or 1 when the driver cannot
// draw the picture. A terminal picture first opens the destination and
// asks for the terminal type if none is chosen.
void begin_plot(Session& s, float aspect, char device, float xmin, float xmax, float ymin, float ymax, float& status);
// Ends a picture: PostScript writes its pending line, the terminal returns
// to text mode.
void end_plot(Session& s, char device);

// Device X and the image terminals with the print style on: DRAW draws
// dense data as a line and a band, a residual panel, labels apart.
bool print_styled(Session& s, char device);
// Shades the area inside the outline (world units) on a device that draws
// areas (print_styled ones); the others leave it out.
void shade_area(Session& s, char device, std::span<const std::pair<float, float>> outline);
// Moves the open picture to a panel of its box (fractions of the box
// height from its bottom) with the given window; begin_plot goes back to
// the whole box. Only the print-styled devices follow the panel.
void set_panel(Session& s, char device, float low, float high, float xmin, float xmax, float ymin, float ymax);

// What the strokes drawn while it lives show (StrokeRole), for the
// print-styled pictures; the role before it comes back at its end.
class StrokeRoleScope {
public:
    StrokeRoleScope(Session& s, StrokeRole role);
    ~StrokeRoleScope();
    StrokeRoleScope(const StrokeRoleScope&) = delete;
    StrokeRoleScope& operator=(const StrokeRoleScope&) = delete;

private:
    Session& s_;
    StrokeRole before_;
};

// Reads a cursor position: key and world point. 'U' returns at once; the
// Tektronix terminal uses its graphic input; other devices say they cannot
// and give key 'Q' at (0, 0).
// True when a report was read: false for those devices and when the
// keyboard input ended (the key is then blank).
bool cross_hair(Session& s, char device, char& key, float& x, float& y);

} // namespace tarva
