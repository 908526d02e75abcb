// Stroke text: strings with escape codes drawn in the built-in font 0 or
// the packed fonts 1 to 9, scaled, rotated and measured.
//
// A glyph unit is one fifth of a plot unit times the size factor; a
// character cell is 6 units wide, capitals 6 units high, lines 9 apart.
// Escapes begin with "^" or ESC (code 27); the next character, upper-cased,
// is the command:
//   U superscript   D subscript     E box start/end  Y back one, line up
//   F back one, line down           G Greek (font 0 + 129)
//   V special symbols (font 0 - 64) C ordinary characters, default font
//   M line start, half line down    N new line       J line start, line up
//   K line start, half line up      B backspace      H back one cell
//   I larger    S smaller           T more slant     Z bold on/off
//   L taller    A wider             0..9 font        ^ the introducer itself
//   any other character resets size, slant, offset and font.
#pragma once

#include <string_view>

#include "graphics/strokes.h"

namespace tarva {

// Lays out the text with its lower-left origin at (x, y); unit_x, unit_y
// are the plot unit size, size the size factor, angle in degrees
// counter-clockwise. Appends the pen steps to *out when out is not null.
// Returns the largest X reached by a pen-down stroke, relative to x, in
// world units along the unrotated line (the text width).
float layout_text(int default_font, float x, float y, float unit_x, float unit_y, float size, float angle,
                  std::string_view text, Strokes* out);

} // namespace tarva
