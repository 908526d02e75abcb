// Stroke text layout: scale, rotation, escapes, advance and width.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "graphics/font0.h"
#include "graphics/packed_fonts.h"
#include "graphics/text.h"

namespace tarva {
namespace {

// With plot unit 5 along both axes and size 1, one glyph unit is one world
// unit, so the expected points below are plain glyph coordinates.
Strokes lay(std::string_view text, int font = 0, float size = 1.0F, float angle = 0.0F, float x = 0.0F,
            float y = 0.0F) {
    Strokes out;
    layout_text(font, x, y, 5.0F, 5.0F, size, angle, text, &out);
    return out;
}

float width(std::string_view text, float size = 1.0F, int font = 0) {
    return layout_text(font, 0.0F, 0.0F, 5.0F, 5.0F, size, 0.0F, text, nullptr);
}

// The font-0 glyph of a code as pen steps, scaled by v and shifted.
Strokes glyph(int code, float du, float de, float v = 1.0F) {
    const Font0Tables& t = font0_tables();
    Strokes out;
    int c = code - 1;
    bool first = true;
    for (int s = 0, guard = 0; s < kFont0Strokes && guard < 100; ++guard) {
        const int pen = t.pen[s][c];
        if (pen == 4) break;
        if (pen == -1) {
            c = static_cast<int>(t.x[s][c]) - 1;
            s = 0;
            continue;
        }
        out.push_back({du + t.x[s][c] * v, de + t.y[s][c] * v, first ? 3 : pen});
        first = false;
        ++s;
    }
    return out;
}

Strokes join(std::initializer_list<Strokes> parts) {
    Strokes out;
    for (const Strokes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Strokes shifted(Strokes s, float du) {
    for (PenStep& p : s) p.x += du;
    return s;
}

void expect_same(const Strokes& got, const Strokes& want, float tol = 1e-4F) {
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_NEAR(got[i].x, want[i].x, tol) << "step " << i;
        EXPECT_NEAR(got[i].y, want[i].y, tol) << "step " << i;
        EXPECT_EQ(got[i].pen, want[i].pen) << "step " << i;
    }
}

TEST(TextLayout, LetterAIsItsGlyphScaledByTheUnit) {
    expect_same(lay("A"), {{0, 0, 3}, {2, 6, 2}, {4, 0, 2}, {0.6667F, 2.3333F, 3}, {3.3333F, 2.3333F, 2}, {6, 0, 3}});
    // Plot unit (10, 20), size 2, origin (100, 50): a glyph unit is 4 by 8.
    Strokes out;
    layout_text(0, 100.0F, 50.0F, 10.0F, 20.0F, 2.0F, 0.0F, "L", &out);
    expect_same(out, {{100, 98, 3}, {100, 50, 2}, {116, 50, 2}, {124, 50, 3}});
}

TEST(TextLayout, CharactersAdvanceBySix) {
    expect_same(lay("LA1"), join({glyph('L', 0, 0), glyph('A', 6, 0), glyph('1', 12, 0)}));
}

TEST(TextLayout, RotationTurnsAboutTheOrigin) {
    // 90 degrees: (f, e) lands at (-e, f).
    const Strokes r = lay("L", 0, 1.0F, 90.0F, 10.0F, 20.0F);
    expect_same(r, {{10 - 6, 20 + 0, 3}, {10, 20, 2}, {10, 24, 2}, {10, 26, 3}});
    // 30 degrees keeps the distances.
    const Strokes t = lay("L", 0, 1.0F, 30.0F);
    const float c = std::cos(30.0F * 3.14159265F / 180.0F), s = std::sin(30.0F * 3.14159265F / 180.0F);
    expect_same(t, {{-6 * s, 6 * c, 3}, {0, 0, 2}, {4 * c, 4 * s, 2}, {6 * c, 6 * s, 3}});
}

TEST(TextLayout, WidthIsTheLargestDrawnX) {
    EXPECT_NEAR(width("A"), 4.0F, 1e-5);
    EXPECT_NEAR(width("A", 2.0F), 2.0F * width("A"), 1e-5);
    EXPECT_NEAR(width("AL"), 10.0F, 1e-5);
    // A trailing blank draws nothing and adds no width.
    EXPECT_NEAR(width("A "), 4.0F, 1e-5);
    EXPECT_EQ(width(""), 0.0F);
    EXPECT_EQ(width("    "), 0.0F);
    EXPECT_EQ(width("A", 0.0F), 0.0F);
    // In world units: plot unit 10 along X at size 1 makes a glyph unit 2.
    EXPECT_NEAR(layout_text(0, 0, 0, 10.0F, 3.0F, 1.0F, 0.0F, "A", nullptr), 8.0F, 1e-5);
}

TEST(TextLayout, NothingIsDrawnForSizeZeroOrBlankText) {
    EXPECT_TRUE(lay("ABC", 0, 0.0F).empty());
    EXPECT_TRUE(lay("   ").empty());
    EXPECT_TRUE(lay("").empty());
}

TEST(TextLayout, SuperscriptAndReset) {
    // "10^U3^R4": the 3 at 0.75 size raised by 6 - 2.25 = 3.75; after ^R the
    // 4 is full size on the baseline, after the 3's advance of 0.75 * 6.
    const Strokes got = lay("10^U3^R4");
    expect_same(got, join({glyph('1', 0, 0), glyph('0', 6, 0), glyph('3', 12, 3.75F, 0.75F), glyph('4', 16.5F, 0)}));
}

TEST(TextLayout, SubscriptLowersAndShrinks) {
    expect_same(lay("H^D2"), join({glyph('H', 0, 0), glyph('2', 6, -2.25F, 0.75F)}));
    // Two levels: the second step is taken at the reduced size.
    expect_same(lay("^D^D2"), glyph('2', 0, -2.25F - 2.25F * 0.75F, 0.5625F));
}

TEST(TextLayout, GreekAndSpecialOffsets) {
    expect_same(lay("^Gh"), glyph('h' + 129, 0, 0));
    expect_same(lay("^ga^Cb"), join({glyph('a' + 129, 0, 0), glyph('b', 6, 0)}));
    expect_same(lay("^VA"), glyph(1, 0, 0));
    // Code plus offset outside 1..256: a blank (advance only).
    expect_same(lay("^V@A"), join({glyph(' ', 0, 0), glyph(1, 6, 0)}));
    expect_same(lay(std::string("^G") + static_cast<char>(200) + "A"), join({glyph(' ', 0, 0), glyph('A', 6, 0)}));
    // Any other letter resets the offset too.
    expect_same(lay("^Ga^Pa"), join({glyph('a' + 129, 0, 0), glyph('a', 6, 0)}));
}

TEST(TextLayout, IntroducerItselfAndAtTheEnd) {
    expect_same(lay("a^^b"), join({glyph('a', 0, 0), glyph('^', 6, 0), glyph('b', 12, 0)}));
    expect_same(lay("abc^"), lay("abc"));
    expect_same(lay("a\x1b"), lay("a"));
    // ESC is an introducer like ^.
    expect_same(lay("10\x1bU3"), lay("10^U3"));
}

TEST(TextLayout, LineMoves) {
    expect_same(lay("A^NB"), join({glyph('A', 0, 0), glyph('B', 0, -9)}));
    expect_same(lay("A^JB"), join({glyph('A', 0, 0), glyph('B', 0, 9)}));
    expect_same(lay("A^MB"), join({glyph('A', 0, 0), glyph('B', 0, -4.5F)}));
    expect_same(lay("A^KB"), join({glyph('A', 0, 0), glyph('B', 0, 4.5F)}));
    expect_same(lay("AB^YC"), join({glyph('A', 0, 0), glyph('B', 6, 0), glyph('C', 6, 9)}));
    expect_same(lay("AB^FC"), join({glyph('A', 0, 0), glyph('B', 6, 0), glyph('C', 6, -9)}));
    expect_same(lay("AB^BC"), join({glyph('A', 0, 0), glyph('B', 6, 0), glyph('C', 6, 0)}));
    expect_same(lay("AB^HC"), join({glyph('A', 0, 0), glyph('B', 6, 0), glyph('C', 6, 0)}));
    // Line pitch scales with the size factor in force.
    expect_same(lay("^SA^NB"), join({glyph('A', 0, 0, 0.75F), glyph('B', 0, -6.75F, 0.75F)}));
}

TEST(TextLayout, SizeWidthHeightAndSlant) {
    expect_same(lay("^IL"), glyph('L', 0, 0, 1.0F / 0.75F));
    expect_same(lay("^SL"), glyph('L', 0, 0, 0.75F));
    // Wider: x scaled only; taller: y scaled only.
    expect_same(lay("^AL"), {{0, 6, 3}, {0, 0, 2}, {4 / 0.75F, 0, 2}, {6 / 0.75F, 0, 3}});
    expect_same(lay("^LL"), {{0, 6 / 0.75F, 3}, {0, 0, 2}, {4, 0, 2}, {6, 0, 3}});
    // Slant shifts each point by slant * G: the top of the L moves right by 2.
    expect_same(lay("^TL"), {{0.3333333F * 6, 6, 3}, {0, 0, 2}, {4, 0, 2}, {6, 0, 3}});
    // Reset by an unknown letter.
    expect_same(lay("^I^A^L^T^RL"), glyph('L', 0, 0));
}

TEST(TextLayout, AdvanceIsTheLargestXOfTheCharacter) {
    // Slanted: the top of the L at x = 2 + 4 is less than the closing 6, so
    // the advance stays 6; wider: the closing move at 8 gives 8.
    expect_same(lay("^AL^RL"), join({lay("^AL"), glyph('L', 8, 0)}));
}

TEST(TextLayout, BoldRetracesEveryDrawnStroke) {
    const Strokes b = lay("^Z-");
    const Strokes plain = lay("-");
    ASSERT_EQ(plain.size(), 3U); // move, draw, closing move
    expect_same(b, {plain[0], plain[1], {plain[0].x, plain[0].y, 2}, plain[1], plain[2]});
    // Off again with a second ^Z.
    expect_same(lay("^Z^Z-"), plain);
}

TEST(TextLayout, BoxAroundTheTextBetweenTwoEs) {
    const Strokes b = lay("^Eabc^E");
    const Strokes plain = lay("abc");
    ASSERT_EQ(b.size(), plain.size() + 5);
    expect_same(Strokes(b.begin(), b.begin() + static_cast<long>(plain.size())), plain);
    // A closed rectangle around every drawn point, 2 units clear of the cells.
    const PenStep* r = &b[plain.size()];
    EXPECT_EQ(r[0].pen, 3);
    for (int i = 1; i < 5; ++i) EXPECT_EQ(r[i].pen, 2);
    EXPECT_FLOAT_EQ(r[4].x, r[0].x);
    EXPECT_FLOAT_EQ(r[4].y, r[0].y);
    float lo_x = 1e9F, hi_x = -1e9F, lo_y = 1e9F, hi_y = -1e9F;
    for (int i = 0; i < 5; ++i) {
        lo_x = std::min(lo_x, r[i].x);
        hi_x = std::max(hi_x, r[i].x);
        lo_y = std::min(lo_y, r[i].y);
        hi_y = std::max(hi_y, r[i].y);
    }
    EXPECT_NEAR(lo_x, -2.0F, 1e-4);
    EXPECT_NEAR(hi_x, 18.0F + 2.0F, 1e-4);
    EXPECT_NEAR(hi_y, 6.0F + 2.0F, 1e-4);
    for (const PenStep& p : plain) {
        if (p.pen != 2) continue;
        EXPECT_GT(p.x, lo_x);
        EXPECT_LT(p.x, hi_x);
        EXPECT_GT(p.y, lo_y);
        EXPECT_LT(p.y, hi_y);
    }
    // The box scales with the size at its start.
    const Strokes small = lay("^S^EA^E");
    EXPECT_NEAR(small.back().x, -1.5F, 1e-4);
}

TEST(TextLayout, PackedFontGlyph) {
    // ^1A: the simplex A; points are (x * 6/21, (y - 7) * 6/21) of its words.
    const Strokes got = lay("^1A");
    const int start = kPackedIndex[96 + 'A'];
    ASSERT_GT(start, 0);
    Strokes want;
    bool up = true;
    for (int i = start; kPackedWords[i] != kPackedEnd; ++i) {
        const int w = kPackedWords[i];
        if (w == kPackedPenUp) {
            up = true;
            continue;
        }
        want.push_back({(w & 63) * 6.0F / 21.0F, ((w >> 6) - 7) * 6.0F / 21.0F, up ? 3 : 2});
        up = false;
    }
    const int adv = kPackedWords[start - 1];
    want.push_back({(adv & 63) * 6.0F / 21.0F, ((adv >> 6) - 7) * 6.0F / 21.0F, 3});
    expect_same(got, want);
    // The default font applies without an escape, ^C returns to it, ^0 leaves it.
    expect_same(lay("A", 1), want);
    expect_same(lay("^0A^CA", 1), join({glyph('A', 0, 0), shifted(want, 6.0F)}), 1e-3F);
}

TEST(TextLayout, PackedFontsEightAndNineShareTheirGlyphs) {
    expect_same(lay("^8+"), lay("^9+"));
    // A code outside the printable range of a packed font is a blank.
    expect_same(lay("^1\x01"
                    "A"),
                join({glyph(' ', 0, 0), shifted(lay("^1A"), 6.0F)}), 1e-3F);
}

TEST(TextLayout, HostileInputStaysFinite) {
    std::string s;
    for (int i = 0; i < 2000; ++i) s += "^I";
    s += "A^Z^E^Y^N^M^G\xff^V\x01";
    Strokes out;
    layout_text(7, 0, 0, 1, 1, 1, 0, s, &out);
    std::string all;
    for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
    out.clear();
    layout_text(5, 0, 0, 1, 1, 1, 45, all, &out);
    EXPECT_FALSE(out.empty());
    EXPECT_EQ(layout_text(0, 0, 0, 1, 1, std::nanf(""), 0, "A", nullptr), 0.0F);
}

} // namespace
} // namespace tarva
