// Packed stroke fonts 1 to 9.
//
// One table of words and a flat index: the glyph of character code N in
// font F starts at word kPackedIndex[96 * F + N] (1-based; fonts 8 and 9
// use entry N). A word packs x in bits 0-5 and y in bits 6-11; 63 means the
// next point is reached with the pen up, 4095 ends the glyph. The first word
// of a glyph is the point where the pen goes when the glyph ends.
#pragma once

#include <cstdint>

namespace tarva {

inline constexpr int kPackedIndexSize = 800;
extern const std::uint16_t kPackedIndex[kPackedIndexSize];
extern const std::uint16_t kPackedWords[];
extern const int kPackedWordCount;

inline constexpr std::uint16_t kPackedPenUp = 63;
inline constexpr std::uint16_t kPackedEnd = 4095;

} // namespace tarva
