// The built-in stroke font (font 0): 256 character codes, each a list of at
// most 30 strokes (x, y, pen) in glyph units. Pen 3 moves, 2 draws, 4 ends
// the character, -1 continues with the strokes of the character whose code
// is in x. Letters sit in a 4 by 6 box on the baseline; every glyph ends
// with a pen-up move to (6, 0), its advance.
#pragma once

#include <cstdint>

namespace tarva {

inline constexpr int kFont0Codes = 256;
inline constexpr int kFont0Strokes = 30;

// Glyph source data: coordinates in thirds of a unit (x is a character code
// when pen is -1); the fill adds the closing move and the end mark.
struct Font0Step {
    std::int16_t x, y, pen;
};
struct Font0Glyph {
    std::int16_t code;
    std::int16_t count;
    Font0Step steps[kFont0Strokes - 2];
};
extern const Font0Glyph kFont0Glyphs[];
extern const int kFont0GlyphCount;

// Three parallel tables indexed [stroke][code - 1], codes 1..256.
struct Font0Tables {
    float x[kFont0Strokes][kFont0Codes];
    float y[kFont0Strokes][kFont0Codes];
    int pen[kFont0Strokes][kFont0Codes];
};

// The tables, filled on first use.
const Font0Tables& font0_tables();

// True when the code (1..256) has a designed glyph.
bool font0_designed(int code);

} // namespace tarva
