// Small pieces the text readers of instrument files share: lines with
// their numbers (LF or CR LF, trailing blanks and a leading byte-order
// mark dropped), numbers in the forms instruments write them, and the test
// whether bytes are text.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "text/fixed_text.h" // trim

namespace tarva {

struct TextLine {
    std::string_view text; // without the line end and trailing blanks or tabs
    long number = 0;       // 1-based
};

class LineScanner {
public:
    explicit LineScanner(std::string_view text) : text_(text) {}
    std::optional<TextLine> next();
    long last_number() const { return number_; }

private:
    std::string_view text_;
    std::size_t at_ = 0;
    long number_ = 0;
};

std::string lower_ascii(std::string_view text);
bool starts_with_nocase(std::string_view text, std::string_view head);

// One whole field as a finite number: sign, digits, point, exponent (E or
// D); "12." and "+5" read; a decimal comma reads when `decimal_comma`.
// nullopt for anything else, including NaN and infinities.
std::optional<double> parse_number(std::string_view field, bool decimal_comma = false);

// The next field of a line of numbers from `at` on (blanks, tabs and one
// comma between fields), `at` moved past it; false at the end of the line.
bool next_field(std::string_view line, std::size_t& at, std::string_view& field);

// The fields of a line of numbers separated by blanks, tabs or commas.
std::vector<std::string_view> split_fields(std::string_view line);

// Every field of the line as a number, appended to `out`; false (and `out`
// as it was) when a field is no number. `bad` gets the first such field.
bool append_numbers(std::string_view line, std::vector<double>& out, std::string_view* bad = nullptr);

// Whether the bytes look like a binary file rather than text: a NUL byte,
// or more than a few control characters, in the first 4 KB.
bool looks_binary(std::string_view bytes);

// A field quoted for a message, cut to 20 characters.
std::string quoted(std::string_view field);

} // namespace tarva
