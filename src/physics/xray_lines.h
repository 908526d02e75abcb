// The X-ray and gamma line database: sets of lines (energy in keV, relative
// intensity) read from the text file "xraylines.dat" in the library
// directory, and the lookups that use it.
//
// File layout: each set is a header "(A4,I4,1x,I4)" (name, line count,
// isotope number) followed by its (energy, intensity) pairs in "(10F7.3)",
// five pairs to a text line; a header with count <= 0 ends the file.
#pragma once

#include <array>
#include <istream>
#include <string>
#include <vector>

#include "text/fixed_text.h"

namespace tarva {

class OutputSink;

inline constexpr int kMaxXraySets = 300;
inline constexpr int kMaxXrayLines = 15;
// lines_near scans only the first sets (the K and L lines of the elements).
inline constexpr int kXraySearchSets = 200;

struct XraySet {
    FixedText<4> name; // symbol, blank, family (K, L, M, G for gamma lines)
    int count = 0;
    int isotope = 0;
    std::array<float, kMaxXrayLines> energy{};
    std::array<float, kMaxXrayLines> intensity{};
};

struct XrayDatabase {
    std::string file;          // where load_xray_lines reads from
    std::vector<XraySet> sets; // at most kMaxXraySets
    bool loaded = false;
};

// Reads the sets from a stream; `file` names it in messages. A malformed
// record is reported with its line number and ends the reading (the sets
// before it are kept). Past 300 sets the rest is refused with a warning.
void read_xray_lines(OutputSink& out, std::istream& in, const std::string& file, XrayDatabase& db);

// Loads db.file once per run: later calls return at once. A file that cannot
// be opened is reported and leaves the database empty and not loaded, so a
// later call tries again.
void load_xray_lines(OutputSink& out, XrayDatabase& db);

// Set lookup (loads the database first). A name starting with a blank
// fetches set number `index` (1-based; outside the sets nothing happens).
// Otherwise the name is upper-cased and aligned ("C K" becomes "C  K") and
// the first set of that name is found; a gamma set (family G) must also have
// the given isotope. Found: name, isotope, index, count and the lines are
// returned and true. Not found: index 0, count 0, first line 0, false.
bool xray_set(OutputSink& out, XrayDatabase& db, FixedText<4>& name, int& isotope, int& index, int& count,
              std::array<float, kMaxXrayLines>& energies, std::array<float, kMaxXrayLines>& intensities);

// The lines near an energy (keV). A blank or "?" name searches the first 200
// sets for lines within 0.2 keV (3 keV above 50 keV), prints them, and
// returns the nearest: its energy replaces `energy` and its element symbol
// the name (true). No line that near: a message, false. A set name given:
// `energy` becomes the energy of that set's first line (0 and false when no
// set has the name).
bool lines_near(OutputSink& out, XrayDatabase& db, double& energy, FixedText<4>& name);

// "C K" -> "C  K": a family letter typed right after a one-letter symbol
// moves to the fourth place, where the set names have it.
void align_set_name(FixedText<4>& name);

} // namespace tarva
