// The reply of the xylib reader program (tarva-xylib) to the program that
// started it: what xylib found in one file, as lines of text on a pipe.
// The reader program writes it with encode_xylib_reply; the caller reads it
// with decode_xylib_reply, which trusts nothing (the reader may have been
// killed half-way through a reply). Needs only the standard library, so the
// reader program compiles this file without the rest of tarva.
//
//   tarva-xylib 1
//   format NAME<TAB>DESCRIPTION       or  none  or  error NAME<TAB>MESSAGE
//   tried DESCRIPTION                 (none: one line per layout tried)
//   blocks N
//   title TEXT
//   meta KEY<TAB>VALUE
//   column NAME                       (one line per column)
//   rows N                            then N lines of numbers, one per column
//   note TEXT
//   end
//
// Text fields escape backslash, tab, carriage return and newline.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarva {

inline constexpr std::string_view kXylibReplyMagic = "tarva-xylib 1";
// What the reader program sends at most: columns of one block, and values
// in all (a diffraction scan has some ten thousand rows of two columns).
inline constexpr std::size_t kXylibMostColumns = 8;
inline constexpr std::size_t kXylibMostValues = std::size_t{1} << 22;

struct XylibReply {
    enum class Kind { data, none, error };
    Kind kind = Kind::none;
    std::string format;      // xylib's short name of the layout
    std::string description; // its long name
    std::string error;       // Kind::error: what xylib said
    std::vector<std::string> tried;
    int blocks = 0;
    std::string title;
    std::vector<std::pair<std::string, std::string>> meta;
    std::vector<std::string> column_names;
    std::vector<std::vector<double>> columns;
    std::vector<std::string> notes;

    // The value of a metadata key, or nullopt.
    std::optional<std::string> meta_value(std::string_view key) const;
};

std::string encode_xylib_reply(const XylibReply& reply);

// The reply from the bytes the reader wrote; nullopt when they do not make
// a whole reply (a missing "end", a malformed line, more than the limits).
std::optional<XylibReply> decode_xylib_reply(std::string_view text);

} // namespace tarva
