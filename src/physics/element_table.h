// The built-in element table (Z = 1..103: symbol and atomic weight), the
// isotope table of the light elements and the lookups that use them.
#pragma once

#include <array>
#include <string_view>

#include "text/fixed_text.h"

namespace tarva {

class OutputSink;

inline constexpr int kElementCount = 103;
// Heaviest weight in the table; a weight lookup refuses anything above it.
inline constexpr float kHeaviestWeight = 257.0f;

// The symbols of Z = 1..103, two characters each, in Z order (206 characters).
extern const std::string_view kElementSymbols;
// Atomic weights in u, index Z - 1.
extern const std::array<float, kElementCount> kAtomicWeights;

// Symbol (2 characters) and weight of element Z (1..103).
std::string_view element_symbol(int z);
float atomic_weight(int z);

// The element nearest in weight (a later element wins an equal distance);
// 0 when the weight is not in (0, 257].
int nearest_element(float weight);

// Normalises a typed symbol: a digit in the second place is dropped, the
// first letter is upper-cased and the second lower-cased, and a symbol
// standing alone in the second place moves to the first ("C1", "c", " C"
// all give "C ").
FixedText<2> normalised_symbol(std::string_view typed);

// Z of a normalised symbol, 0 when no element has it. Silent.
int find_symbol(std::string_view symbol);

// The lookup every command uses; the symbol chooses the mode:
//   ".."          list the whole table;
//   two blanks    by Z (symbol and weight returned);
//   "?" or "#"    by weight: nearest element, "?" prints the candidates;
//   otherwise     by symbol (normalised in place; Z and weight returned).
// Failures are reported on `out` and leave Z = 0 and weight 0.
void element_lookup(OutputSink& out, FixedText<2>& symbol, int& z, float& weight);

// Mass of an isotope of Z <= 10 from the isotope table: mass number plus
// excess / 1e6. Otherwise mass 0 and mass number -1.
void isotope_mass(std::string_view symbol, int& mass_number, double& mass);

// The isotopes listed for element Z: up to three (mass number, excess in
// micro-u) pairs, mass number 0 in empty places. Z outside 1..10 has none.
struct Isotope {
    int mass_number;
    int excess;
};
std::array<Isotope, 3> isotopes_of(int z);

} // namespace tarva
