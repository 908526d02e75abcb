#include "graphics/font0.h"

#include <memory>

namespace tarva {

namespace {

std::unique_ptr<Font0Tables> fill_tables() {
    auto t = std::make_unique<Font0Tables>();
    // Every code first advances like a blank: a pen-up move to (6, 0).
    for (int c = 0; c < kFont0Codes; ++c) {
        for (int s = 0; s < kFont0Strokes; ++s) {
            t->x[s][c] = 0.0F;
            t->y[s][c] = 0.0F;
            t->pen[s][c] = 4;
        }
        t->x[0][c] = 6.0F;
        t->pen[0][c] = 3;
    }
    for (int g = 0; g < kFont0GlyphCount; ++g) {
        const Font0Glyph& glyph = kFont0Glyphs[g];
        if (glyph.code < 1 || glyph.code > kFont0Codes) continue;
        const int c = glyph.code - 1;
        const int n = glyph.count < 0 ? 0 : (glyph.count > kFont0Strokes - 2 ? kFont0Strokes - 2 : glyph.count);
        int s = 0;
        bool continued = false;
        for (; s < n; ++s) {
            const Font0Step& st = glyph.steps[s];
            t->pen[s][c] = st.pen;
            if (st.pen == -1) {
                // The rest of the glyph is another character's.
                t->x[s][c] = static_cast<float>(st.x);
                t->y[s][c] = 0.0F;
                continued = true;
                ++s;
                break;
            }
            t->x[s][c] = static_cast<float>(st.x) / 3.0F;
            t->y[s][c] = static_cast<float>(st.y) / 3.0F;
        }
        if (!continued) {
            t->x[s][c] = 6.0F;
            t->y[s][c] = 0.0F;
            t->pen[s][c] = 3;
            ++s;
        }
        for (; s < kFont0Strokes; ++s) {
            t->x[s][c] = 0.0F;
            t->y[s][c] = 0.0F;
            t->pen[s][c] = 4;
        }
    }
    return t;
}

} // namespace

const Font0Tables& font0_tables() {
    static const std::unique_ptr<Font0Tables> tables = fill_tables();
    return *tables;
}

bool font0_designed(int code) {
    if (code < 1 || code > kFont0Codes) return false;
    const Font0Tables& t = font0_tables();
    for (int s = 0; s < kFont0Strokes && t.pen[s][code - 1] != 4; ++s) {
        if (t.pen[s][code - 1] == 2 || t.pen[s][code - 1] == -1) return true;
    }
    return false;
}

} // namespace tarva
