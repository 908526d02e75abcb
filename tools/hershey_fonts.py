#!/usr/bin/env python3
"""Builds tarva's stroke-font tables from the Hershey fonts.

Writes two C++ sources:
  src/graphics/packed_fonts_data.cpp  packed fonts 1..7 and the symbol font
                                      used by fonts 8 and 9 (index + words)
  src/graphics/font0_data.cpp         the built-in font 0 glyph lists

Input: the .jhf files of the Hershey fonts (Debian package
hershey-fonts-data, /usr/share/hershey-fonts). The generated files are
committed, so building tarva does not need the package. The fonts' notice
is in docs/hershey-fonts-notice.txt and must travel with the data.

Usage: tools/hershey_fonts.py [JHF_DIR] [OUTPUT_DIR]
"""
import math
import os
import sys

JHF_DIR = sys.argv[1] if len(sys.argv) > 1 else "/usr/share/hershey-fonts"
OUT_DIR = sys.argv[2] if len(sys.argv) > 2 else os.path.join(
    os.path.dirname(os.path.abspath(__file__)), "..", "src", "graphics")

# Packed font slots: slot 0 serves fonts 8 and 9, slots 1..7 the fonts of
# the same number. (file, mapping) where mapping is None for the file's own
# order or "symbol" for Greek letters placed like the usual Symbol layout.
SLOTS = [
    ("mathlow.jhf", None),   # 8, 9: mathematical symbols
    ("rowmans.jhf", None),   # 1: simplex roman
    ("greeks.jhf", None),    # 2: simplex Greek, alphabetical (l = mu)
    ("timesr.jhf", None),    # 3: complex roman
    ("timesi.jhf", None),    # 4: complex italic
    ("scriptc.jhf", None),   # 5: script
    ("greeks.jhf", "symbol"),  # 6: simplex Greek, Symbol layout (W = Omega)
    ("greekc.jhf", None),    # 7: complex Greek, alphabetical
]

# Greek letters in alphabetical order, as the Hershey Greek fonts hold them
# at A..X and a..x.
GREEK = ["alpha", "beta", "gamma", "delta", "epsilon", "zeta", "eta", "theta",
         "iota", "kappa", "lambda", "mu", "nu", "xi", "omicron", "pi", "rho",
         "sigma", "tau", "upsilon", "phi", "chi", "psi", "omega"]
# Latin letter -> Greek letter in the Symbol layout.
SYMBOL_LAYOUT = {
    "a": "alpha", "b": "beta", "c": "chi", "d": "delta", "e": "epsilon",
    "f": "phi", "g": "gamma", "h": "eta", "i": "iota", "k": "kappa",
    "l": "lambda", "m": "mu", "n": "nu", "o": "omicron", "p": "pi",
    "q": "theta", "r": "rho", "s": "sigma", "t": "tau", "u": "upsilon",
    "w": "omega", "x": "xi", "y": "psi", "z": "zeta",
}
# Capital Greek letters that look like a Latin capital: font 0 continues
# with the Latin glyph instead of repeating its strokes.
LATIN_LOOKALIKE = {"alpha": "A", "beta": "B", "epsilon": "E", "zeta": "Z",
                   "eta": "H", "iota": "I", "kappa": "K", "mu": "M", "nu": "N",
                   "omicron": "O", "rho": "P", "tau": "T", "chi": "X",
                   "upsilon": "Y"}
# Special symbols of font 0 (codes 1..31, reached as ^V followed by the
# character 64 codes higher): code -> character of mathlow.jhf.
SPECIALS = {
    1: "!",   # plus-minus
    2: '"',   # minus-plus
    3: "#",   # times
    4: "$",   # centred dot
    5: "&",   # less or equal
    6: "'",   # greater or equal
    7: "?",   # not equal
    8: "@",   # identical
    9: "^",   # proportional
    10: "_",  # infinity
    11: "`",  # degree
    12: "c",  # square root
    13: "i",  # arrow right
    14: "j",  # arrow up
    15: "k",  # arrow left
    16: "l",  # arrow down
    17: "m",  # partial
    18: "n",  # nabla
    19: "p",  # integral
    20: "y",  # divide
    21: ";",  # sum
    22: ":",  # product
}


def parse_jhf(path):
    """Returns 96 glyphs (left, right, strokes) for codes 32..127."""
    with open(path, encoding="latin-1") as f:
        lines = [line.rstrip("\n") for line in f if line.strip()]
    records, cur = [], ""
    for line in lines:
        cur += line
        n = int(cur[5:8])
        if len(cur) >= 8 + 2 * n:
            records.append(cur)
            cur = ""
    glyphs = []
    for r in records:
        n = int(r[5:8])
        body = r[8:8 + 2 * n]
        left, right = ord(body[0]) - 82, ord(body[1]) - 82
        strokes, s = [], []
        for i in range(2, len(body), 2):
            pair = body[i:i + 2]
            if pair == " R":
                if s:
                    strokes.append(s)
                s = []
            else:
                s.append((ord(pair[0]) - 82, ord(pair[1]) - 82))
        if s:
            strokes.append(s)
        glyphs.append((left, right, strokes))
    if len(glyphs) != 96:
        raise SystemExit(f"{path}: {len(glyphs)} glyphs, expected 96")
    return glyphs


def slot_glyphs(file, mapping):
    glyphs = parse_jhf(os.path.join(JHF_DIR, file))
    if mapping != "symbol":
        return glyphs
    out = list(glyphs)
    for latin, greek in SYMBOL_LAYOUT.items():
        k = GREEK.index(greek)
        out[ord(latin) - 32] = glyphs[ord("a") - 32 + k]
        out[ord(latin.upper()) - 32] = glyphs[ord("A") - 32 + k]
    # j and v have no Greek letter of their own here: phi and omega variants
    out[ord("j") - 32] = glyphs[ord("a") - 32 + GREEK.index("phi")]
    out[ord("J") - 32] = glyphs[ord("A") - 32 + GREEK.index("theta")]
    out[ord("v") - 32] = glyphs[ord("a") - 32 + GREEK.index("omega")]
    out[ord("V") - 32] = glyphs[ord("a") - 32 + GREEK.index("sigma")]
    return out


# ---------------------------------------------------------------- packed
PACK_BASE = 16  # packed y = PACK_BASE - Hershey y: baseline 9 -> 7


def pack_glyph(left, right, strokes, clamps):
    """Words of one glyph: the advance point, points, 63 before pen-up."""
    pts = [(x - left, PACK_BASE - y) for s in strokes for x, y in s]
    scale = 1.0
    if pts:
        # Oversized glyphs (tall integrals, brackets) shrink about the
        # baseline start so that every point fits the 6-bit fields.
        top = max(p[1] for p in pts)
        bottom = min(p[1] for p in pts)
        widest = max(p[0] for p in pts)
        if top > 62:
            scale = min(scale, (62 - 7) / (top - 7))
        if bottom < -6:
            # Long tails within a few units below the cell are flattened
            # onto its floor instead (word() clamps them).
            scale = min(scale, 7 / (7 - bottom))
        if widest > 62:
            scale = min(scale, 62 / widest)

    def word(x, y):
        px = round((x - left) * scale)
        py = round(7 + (PACK_BASE - y - 7) * scale)
        if px < 0 or px > 62 or py < 0 or py > 63:
            clamps[0] += 1 if (px < -1 or px > 63 or py < -1) else 0
        px = min(max(px, 0), 62)
        py = min(max(py, 0), 63)
        return px + 64 * py

    adv = min(max(round((right - left) * scale), 0), 62)
    words = [adv + 64 * 7]
    for i, s in enumerate(strokes):
        if i > 0:
            words.append(63)
        for x, y in s:
            words.append(word(x, y))
    words.append(4095)
    return words


def write_packed(path):
    index = [0] * 800
    words = []
    clamps = [0]
    for slot, (file, mapping) in enumerate(SLOTS):
        for i, (left, right, strokes) in enumerate(slot_glyphs(file, mapping)):
            index[96 * slot + 32 + i] = len(words) + 1
            words.extend(pack_glyph(left, right, strokes, clamps))
    with open(path, "w") as f:
        f.write("// Generated by tools/hershey_fonts.py from the Hershey fonts; do not edit.\n")
        f.write("// The fonts' notice: docs/hershey-fonts-notice.txt.\n")
        f.write("// Fonts: 8 and 9 " + SLOTS[0][0] + "; " + ", ".join(
            f"{n} {SLOTS[n][0]}" + (" (Symbol layout)" if SLOTS[n][1] else "")
            for n in range(1, 8)) + ".\n")
        f.write("// clang-format off\n")
        f.write('#include "graphics/packed_fonts.h"\n\nnamespace tarva {\n\n')
        f.write(f"extern const std::uint16_t kPackedIndex[kPackedIndexSize];\n")
        f.write(f"const std::uint16_t kPackedIndex[kPackedIndexSize] = {{\n")
        for i in range(0, len(index), 12):
            f.write("    " + ", ".join(str(v) for v in index[i:i + 12]) + ",\n")
        f.write("};\n\n")
        f.write(f"extern const int kPackedWordCount;\nconst int kPackedWordCount = {len(words)};\n\n")
        f.write(f"extern const std::uint16_t kPackedWords[{len(words)}];\n")
        f.write(f"const std::uint16_t kPackedWords[{len(words)}] = {{\n")
        for i in range(0, len(words), 14):
            f.write("    " + ", ".join(str(v) for v in words[i:i + 14]) + ",\n")
        f.write("};\n\n} // namespace tarva\n")
    return len(words), clamps[0]


# ---------------------------------------------------------------- font 0
def simplify(points, tol):
    """Douglas-Peucker on one polyline of (x, y)."""
    if len(points) <= 2:
        return points
    (x1, y1), (x2, y2) = points[0], points[-1]
    dx, dy = x2 - x1, y2 - y1
    norm = math.hypot(dx, dy)
    best, idx = -1.0, 0
    for i in range(1, len(points) - 1):
        px, py = points[i]
        if norm == 0:
            d = math.hypot(px - x1, py - y1)
        else:
            d = abs(dy * (px - x1) - dx * (py - y1)) / norm
        if d > best:
            best, idx = d, i
    if best <= tol:
        return [points[0], points[-1]]
    return simplify(points[:idx + 1], tol)[:-1] + simplify(points[idx:], tol)


def font0_glyph(left, right, strokes, max_width, align_left):
    """Strokes in thirds of a glyph unit: caps 6 units high, at most
    max_width wide, baseline 0."""
    xs = [x for s in strokes for x, _ in s]
    if not xs:
        return []
    lo, hi = min(xs), max(xs)
    ink = hi - lo
    sx = 6 / 21 if ink == 0 else min(6 / 21, max_width / ink)
    # Tall symbols shrink about the baseline so that they keep to the cell.
    ys = [y for s in strokes for _, y in s]
    top, bottom = (9 - min(ys)) * 6 / 21, (9 - max(ys)) * 6 / 21
    sy = 6 / 21
    if top > 20 / 3:
        sy = min(sy, sy * (20 / 3) / top)
    if bottom < -7 / 3:
        sy = min(sy, sy * (-7 / 3) / bottom)
    sx = min(sx, sy)
    shift = 0.0 if align_left else max(0.0, (4 - ink * sx) / 2)
    tol = 0.0
    while True:
        out = []
        for s in strokes:
            pts = [(round(((x - lo) * sx + shift) * 3), round((9 - y) * sy * 3)) for x, y in s]
            dedup = [pts[0]]
            for p in pts[1:]:
                if p != dedup[-1]:
                    dedup.append(p)
            if tol > 0:
                dedup = simplify(dedup, tol)
            out.append(dedup)
        count = sum(len(s) for s in out)
        if count <= 28:
            break
        tol += 0.25
    steps = []
    for s in out:
        steps.append((s[0][0], s[0][1], 3))
        for x, y in s[1:]:
            steps.append((x, y, 2))
    return steps


# Glyphs given by their strokes (thirds of a unit), used as they stand.
FIXED = {
    "A": [(0, 0, 3), (6, 18, 2), (12, 0, 2), (2, 7, 3), (10, 7, 2)],
    "L": [(0, 18, 3), (0, 0, 2), (12, 0, 2)],
    "1": [(6, 0, 3), (6, 18, 2), (3, 15, 2)],
    "+": [(6, 0, 3), (6, 12, 2), (0, 6, 3), (12, 6, 2)],
    "^": [(2, 12, 3), (6, 18, 2), (10, 12, 2)],
    "O": [(12, 13, 3), (7, 18, 2), (5, 18, 2), (0, 13, 2), (0, 5, 2), (5, 0, 2),
          (7, 0, 2), (12, 5, 2), (12, 13, 2)],
}


def write_font0(path):
    roman = parse_jhf(os.path.join(JHF_DIR, "rowmans.jhf"))
    greek = parse_jhf(os.path.join(JHF_DIR, "greeks.jhf"))
    maths = parse_jhf(os.path.join(JHF_DIR, "mathlow.jhf"))
    glyphs = {}  # code -> list of (x3, y3, pen) or ("continue", code)
    for c in range(33, 127):
        ch = chr(c)
        if ch in FIXED:
            glyphs[c] = FIXED[ch]
        else:
            glyphs[c] = font0_glyph(*roman[c - 32], 4, False)
    for latin, name in SYMBOL_LAYOUT.items():
        k = GREEK.index(name)
        lower = greek[ord("a") - 32 + k]
        upper = greek[ord("A") - 32 + k]
        if name == "omicron":
            glyphs[129 + ord(latin)] = [(ord("o"), 0, -1)]
        else:
            glyphs[129 + ord(latin)] = font0_glyph(*lower, 11 / 3, True)
        if name in LATIN_LOOKALIKE:
            glyphs[129 + ord(latin.upper())] = [(ord(LATIN_LOOKALIKE[name]), 0, -1)]
        else:
            glyphs[129 + ord(latin.upper())] = font0_glyph(*upper, 4, False)
    for code, ch in SPECIALS.items():
        glyphs[code] = font0_glyph(*maths[ord(ch) - 32], 4, False)
    with open(path, "w") as f:
        f.write("// Generated by tools/hershey_fonts.py; do not edit.\n")
        f.write("// Built-in font 0: ASCII from simplex roman, Greek (codes 129 + Latin\n")
        f.write("// letter, Symbol layout) from simplex Greek, special symbols (codes\n")
        f.write("// 1..31) from the mathematical set of the Hershey fonts; A, L, 1, +, ^ and O\n")
        f.write("// drawn by hand. Coordinates in thirds of a glyph unit; a glyph ends with\n")
        f.write("// the pen-up move to (6, 0) added by the table fill.\n")
        f.write("// The fonts' notice: docs/hershey-fonts-notice.txt.\n")
        f.write("// clang-format off\n")
        f.write('#include "graphics/font0.h"\n\nnamespace tarva {\n\n')
        f.write("const Font0Glyph kFont0Glyphs[] = {\n")
        for code in sorted(glyphs):
            steps = glyphs[code]
            body = ", ".join(f"{{{x}, {y}, {p}}}" for x, y, p in steps)
            f.write(f"    {{{code}, {len(steps)}, {{{body}}}}},\n")
        f.write("};\n\nconst int kFont0GlyphCount = static_cast<int>(sizeof kFont0Glyphs / sizeof kFont0Glyphs[0]);\n")
        f.write("\n} // namespace tarva\n")
    return len(glyphs)


if __name__ == "__main__":
    n, clamps = write_packed(os.path.join(OUT_DIR, "packed_fonts_data.cpp"))
    g = write_font0(os.path.join(OUT_DIR, "font0_data.cpp"))
    print(f"packed words: {n}, clamped points: {clamps}; font 0 glyphs: {g}")
