// The built-in font tables and the packed fonts: shapes given as examples,
// structure of every code, and well-formed packed glyphs.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "graphics/font0.h"
#include "graphics/packed_fonts.h"

namespace tarva {
namespace {

struct Step {
    float x, y;
    int pen;
};

// The strokes of one code, continuations followed, end mark excluded.
std::vector<Step> strokes_of(int code) {
    const Font0Tables& t = font0_tables();
    std::vector<Step> out;
    int c = code - 1;
    for (int s = 0, guard = 0; s < kFont0Strokes && guard < 200; ++guard) {
        const int pen = t.pen[s][c];
        if (pen == 4) break;
        if (pen == -1) {
            c = static_cast<int>(t.x[s][c]) - 1;
            s = 0;
            continue;
        }
        out.push_back({t.x[s][c], t.y[s][c], pen});
        ++s;
    }
    return out;
}

void expect_strokes(int code, const std::vector<Step>& expected) {
    const std::vector<Step> got = strokes_of(code);
    ASSERT_EQ(got.size(), expected.size()) << "code " << code;
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_NEAR(got[i].x, expected[i].x, 1e-4) << "code " << code << " stroke " << i;
        EXPECT_NEAR(got[i].y, expected[i].y, 1e-4) << "code " << code << " stroke " << i;
        EXPECT_EQ(got[i].pen, expected[i].pen) << "code " << code << " stroke " << i;
    }
}

TEST(Font0, ExampleGlyphsAsGiven) {
    expect_strokes('A', {{0, 0, 3}, {2, 6, 2}, {4, 0, 2}, {0.6667F, 2.3333F, 3}, {3.3333F, 2.3333F, 2}, {6, 0, 3}});
    expect_strokes('L', {{0, 6, 3}, {0, 0, 2}, {4, 0, 2}, {6, 0, 3}});
    expect_strokes('1', {{2, 0, 3}, {2, 6, 2}, {1, 5, 2}, {6, 0, 3}});
    expect_strokes('+', {{2, 0, 3}, {2, 4, 2}, {0, 2, 3}, {4, 2, 2}, {6, 0, 3}});
}

TEST(Font0, LetterOIsAClosedOutlineThroughTheGivenPoints) {
    const std::vector<Step> o = strokes_of('O');
    ASSERT_GE(o.size(), 8U);
    EXPECT_EQ(o.front().pen, 3);
    // Closed: the last drawn point is the first point.
    const Step& last_drawn = o[o.size() - 2];
    EXPECT_NEAR(last_drawn.x, o.front().x, 1e-4);
    EXPECT_NEAR(last_drawn.y, o.front().y, 1e-4);
    const float required[][2] = {{4, 4.3333F}, {2.3333F, 6}, {0, 4.3333F}, {0, 1.6667F}, {1.6667F, 0}, {4, 1.6667F}};
    std::size_t from = 0;
    for (const auto& p : required) {
        bool found = false;
        for (std::size_t i = from; i + 1 < o.size(); ++i) {
            if (std::fabs(o[i].x - p[0]) < 1e-3 && std::fabs(o[i].y - p[1]) < 1e-3) {
                found = true;
                from = i + 1;
                break;
            }
        }
        EXPECT_TRUE(found) << "point (" << p[0] << ", " << p[1] << ") missing or out of order";
    }
}

TEST(Font0, EveryCodeEndsWithThePenUpMoveToItsAdvance) {
    int designed = 0;
    for (int code = 1; code <= kFont0Codes; ++code) {
        const std::vector<Step> s = strokes_of(code);
        ASSERT_FALSE(s.empty()) << code;
        EXPECT_EQ(s.back().pen, 3) << code;
        EXPECT_FLOAT_EQ(s.back().x, 6.0F) << code;
        EXPECT_FLOAT_EQ(s.back().y, 0.0F) << code;
        bool draws = false;
        for (const Step& st : s) {
            if (st.pen == 2) draws = true;
            EXPECT_TRUE(st.pen == 2 || st.pen == 3) << code;
            // On the grid of thirds, inside the cell with room for descenders.
            EXPECT_NEAR(st.x * 3, std::round(st.x * 3), 1e-3) << code;
            EXPECT_NEAR(st.y * 3, std::round(st.y * 3), 1e-3) << code;
            EXPECT_GE(st.x, 0.0F) << code;
            EXPECT_LE(st.x, 6.0F) << code;
            EXPECT_GE(st.y, -3.0F) << code;
            EXPECT_LE(st.y, 8.0F) << code;
        }
        EXPECT_EQ(draws, font0_designed(code)) << code;
        if (draws) ++designed;
        // Own strokes of every code fit the table.
        const Font0Tables& t = font0_tables();
        bool ended = false;
        for (int i = 0; i < kFont0Strokes; ++i) ended = ended || t.pen[i][code - 1] == 4 || t.pen[i][code - 1] == -1;
        EXPECT_TRUE(ended) << code;
    }
    EXPECT_EQ(designed, 164);
}

TEST(Font0, PrintableAsciiGreekAndSpecialsAreDesigned) {
    for (int c = 33; c <= 126; ++c) EXPECT_TRUE(font0_designed(c)) << c;
    EXPECT_FALSE(font0_designed(' '));
    EXPECT_FALSE(font0_designed(127));
    for (const char* letters : {"abcdefghiklmnopqrstuwxyz", "ABCDEFGHIKLMNOPQRSTUWXYZ"}) {
        for (const char* p = letters; *p != '\0'; ++p) EXPECT_TRUE(font0_designed(129 + *p)) << *p;
    }
    for (int c = 1; c <= 22; ++c) EXPECT_TRUE(font0_designed(c)) << c;
    EXPECT_FALSE(font0_designed(0));
    EXPECT_FALSE(font0_designed(257));
}

TEST(Font0, AlphaIsALoopWithATailInItsBox) {
    const std::vector<Step> alpha = strokes_of(129 + 'a');
    int drawn = 0;
    for (std::size_t i = 0; i + 1 < alpha.size(); ++i) {
        EXPECT_GE(alpha[i].x, 0.0F);
        EXPECT_LE(alpha[i].x, 3.6667F + 1e-4F);
        EXPECT_GE(alpha[i].y, 0.0F);
        EXPECT_LE(alpha[i].y, 4.0F + 1e-4F);
        if (alpha[i].pen == 2) ++drawn;
    }
    EXPECT_GT(drawn, 6);
    // It is not the Latin a.
    EXPECT_NE(strokes_of('a').size(), alpha.size());
}

TEST(Font0, GreekCapitalsThatLookLatinContinueWithTheLatinGlyph) {
    const Font0Tables& t = font0_tables();
    EXPECT_EQ(t.pen[0][129 + 'A' - 1], -1);
    EXPECT_FLOAT_EQ(t.x[0][129 + 'A' - 1], static_cast<float>('A'));
    const std::vector<Step> a = strokes_of('A');
    const std::vector<Step> alpha = strokes_of(129 + 'A');
    ASSERT_EQ(a.size(), alpha.size());
    for (std::size_t i = 0; i < a.size(); ++i) EXPECT_FLOAT_EQ(a[i].x, alpha[i].x);
    // Delta has its own strokes.
    EXPECT_EQ(t.pen[0][129 + 'D' - 1], 3);
}

// ---- packed fonts -------------------------------------------------------

struct PackedGlyph {
    int advance_x = 0, advance_y = 0;
    std::vector<int> points; // words, 63 kept as pen-up marks
    bool ended = false;
};

PackedGlyph packed_glyph(int font, int code) {
    PackedGlyph g;
    const int start = kPackedIndex[(font >= 8 ? 0 : 96 * font) + code];
    if (start < 1 || start > kPackedWordCount) return g;
    g.advance_x = kPackedWords[start - 1] & 63;
    g.advance_y = kPackedWords[start - 1] >> 6;
    for (int i = start; i < kPackedWordCount; ++i) {
        if (kPackedWords[i] == kPackedEnd) {
            g.ended = true;
            break;
        }
        g.points.push_back(kPackedWords[i]);
    }
    return g;
}

TEST(PackedFonts, EveryPrintableCodeOfEveryFontIsAWellFormedGlyph) {
    for (int font = 1; font <= 8; ++font) {
        int with_strokes = 0;
        for (int code = 32; code <= 127; ++code) {
            const int start = kPackedIndex[(font >= 8 ? 0 : 96 * font) + code];
            ASSERT_GE(start, 1) << font << " " << code;
            ASSERT_LE(start, kPackedWordCount) << font << " " << code;
            const PackedGlyph g = packed_glyph(font, code);
            EXPECT_TRUE(g.ended) << font << " " << code;
            EXPECT_EQ(g.advance_y, 7) << "advance on the baseline " << font << " " << code;
            EXPECT_LT(g.advance_x, 63);
            if (!g.points.empty()) {
                ++with_strokes;
                EXPECT_NE(g.points.front(), kPackedPenUp) << "glyph starts with a point";
                EXPECT_NE(g.points.back(), kPackedPenUp) << "no dangling pen-up mark";
            }
            for (std::size_t i = 1; i < g.points.size(); ++i) {
                EXPECT_FALSE(g.points[i] == kPackedPenUp && g.points[i - 1] == kPackedPenUp);
            }
            for (int w : g.points) EXPECT_LE(w, 4094);
        }
        EXPECT_GT(with_strokes, 60) << "font " << font;
    }
}

TEST(PackedFonts, GlyphsAreTheSizeOfTheCell) {
    // Capital H of the simplex font: 21 packed units high from the baseline
    // (y = 7), so 6 glyph units, like font 0.
    const PackedGlyph h = packed_glyph(1, 'H');
    int lo = 64, hi = -1;
    for (int w : h.points) {
        if (w == kPackedPenUp) continue;
        lo = std::min(lo, w >> 6);
        hi = std::max(hi, w >> 6);
    }
    EXPECT_EQ(lo, 7);
    EXPECT_EQ(hi, 28);
}

TEST(PackedFonts, FontsDiffer) {
    // Roman, Greek and script give different strokes for the same code.
    const PackedGlyph roman = packed_glyph(1, 'a');
    const PackedGlyph greek = packed_glyph(2, 'a');
    const PackedGlyph script = packed_glyph(5, 'a');
    EXPECT_NE(roman.points, greek.points);
    EXPECT_NE(roman.points, script.points);
    // Font 6 puts Omega at W, font 2 keeps alphabetical order (Omega at X).
    EXPECT_EQ(packed_glyph(6, 'W').points, packed_glyph(2, 'X').points);
    // Fonts 8 and 9 share their table.
    EXPECT_EQ(packed_glyph(8, '!').points, packed_glyph(9, '!').points);
    EXPECT_NE(packed_glyph(8, '!').points, packed_glyph(1, '!').points);
}

} // namespace
} // namespace tarva
