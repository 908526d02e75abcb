// Number formatting and number reading with Fortran edit-descriptor rules.
//
// Every number that reaches the user goes through this module, so the
// layouts of terminal messages and files stay identical everywhere.
// Output functions return the field text only (no leading carriage-control
// blank; the output sink adds that to each line).
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tarva {

// Iw: integer right-justified in w columns; asterisks when too wide.
std::string format_I(long long value, int w);

// Fw.d: fixed point, right-justified, d decimals; asterisks when too wide.
// Zero before the point is kept when it fits ("0.50"), dropped when only the
// field width forbids it, as gfortran does. A scale factor k (kP before an F
// field in a layout) writes value x 10^k, as Fortran does.
std::string format_F(double value, int w, int d, int scale = 0);

// Ew.d; scale = 1 gives the 1P form (one non-zero digit before the point).
std::string format_E(double value, int w, int d, int scale = 0);

// Gw.d; scale = 1 gives 1P for the exponential form (the fixed form is not
// scaled, as in Fortran).
std::string format_G(double value, int w, int d, int scale = 0);

// Aw: right-justified when shorter, cut to w when longer (first w kept).
std::string format_A(std::string_view text, int w);

// Free-format output items, each beginning with its own blank.
std::string free_real(double value);   // " 1.5", " -2.25E-05", " 0."
std::string free_int(long long value); // " 42"

// Item of a layout template.
using FormatArg = std::variant<long long, int, double, float, std::string_view, std::string, const char*>;

// Writes the values through a layout template such as "(1P,E8.1,'  ')" or
// "(I4,' Unable to open ',A)". Items: Iw, Fw.d, Ew.d, Gw.d, nP, Aw, A, wX, '/',
// quoted text, repeat counts (3F8.2) and parentheses groups "2(...)".
// A '/' in the template starts a new line ('\n' in the result); the template
// is reused from its start while values remain, each reuse also starting a new
// line, as Fortran format reversion does (simplified: whole template).
std::string format_layout(std::string_view layout, const std::vector<FormatArg>& values);

// ---- input side -------------------------------------------------------

// A number in a free numeric field (F12.0, F20.0 reads): optional sign,
// digits, optional point, optional exponent introduced by E, D, e or d (or a
// bare sign after digits, as Fortran allows "1.5+3"). Embedded and trailing
// blanks are ignored; an all-blank field reads as 0. The caller cuts the
// text to the field width. nullopt when the text is not a number.
std::optional<double> read_real_field(std::string_view field);

// An integer in an Iw field (blanks ignored, all-blank is 0).
std::optional<long long> read_integer_field(std::string_view field);

// List-directed read of up to values.size() numbers separated by blanks or
// commas; an empty value between two commas keeps the old value; "/" ends the
// list (the remaining values keep theirs). Returns the number of values
// consumed (assigned or skipped by empty commas) when all read, nullopt when
// an item is not a number. Too few items is not an error: the count tells.
std::optional<int> read_list(std::string_view text, std::span<double> values);

} // namespace tarva
