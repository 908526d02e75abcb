// Number formatting and number reading with Fortran edit-descriptor rules.
//
// Every number that reaches the user goes through this module, so the
// layouts of terminal messages and files stay identical everywhere.
// Output functions return the field text only (no leading carriage-control
// blank; the output sink adds that to each line). A width of 0 means "as
// wide as needed". NaN and infinities never fail: they print "NaN",
// "Infinity", "-Inf" and so on, or asterisks when the field is too narrow.
// Digits are the correctly rounded decimal value of the double (ties to
// even), the same digits gfortran writes.
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
// Exponents of three digits drop the letter: "0.1000+101".
std::string format_E(double value, int w, int d, int scale = 0);

// Gw.d; scale = 1 gives 1P for the exponential form (the fixed form is not
// scaled, as in Fortran). The choice between the fixed and the exponential
// form follows the value's own precision, as the Fortran run-time does: a
// float on a rounded range limit (99.9995f) goes to the upper range (100.00)
// where the correctly rounded digits would stay below it (99.999).
std::string format_G(double value, int w, int d, int scale = 0);
std::string format_G(float value, int w, int d, int scale = 0);

// 1P G12.5 and 1P G13.5, the forms most numbers on the screen take.
inline std::string g12(double value) { return format_G(value, 12, 5, 1); }
inline std::string g13(double value) { return format_G(value, 13, 5, 1); }
inline std::string g12(float value) { return format_G(value, 12, 5, 1); }
inline std::string g13(float value) { return format_G(value, 13, 5, 1); }

// Aw: right-justified when shorter, cut to w when longer (first w kept);
// w <= 0 (A alone) gives the whole text.
std::string format_A(std::string_view text, int w);

// Free-format output items, each beginning with its own blank. A real then
// has its sign position (blank or "-") and up to 9 significant digits,
// trailing zeros removed, always a point: "  1.5", "  100.", "  0.",
// " -0.25"; exponential form when the decimal exponent is below -4 or above
// 8: "  1.E-05", " -2.25E-05", "  1.5E+09". An integer is written in full
// after its blank, with no sign position: " 42", " -7".
std::string free_real(double value);
std::string free_int(long long value); // " 42"
// Free-format real with the fewest digits (up to 17) that read back as the
// identical double: for values stored in files that are read again.
std::string free_real_exact(double value);

// Item of a layout template.
using FormatArg = std::variant<long long, int, double, float, std::string_view, std::string, const char*>;

// Writes the values through a layout template such as "(1P,E8.1,'  ')" or
// "(I4,' Unable to open ',A)". Items: Iw, Iw.m, Fw.d, Ew.d, Dw.d (letter D),
// Gw.d, kP, Aw, A, wX, '/', ':', quoted text ('' for a quote), nH text,
// repeat counts (3F8.2) and parentheses groups "2(...)"; blanks and the
// outer parentheses are optional. Fortran rules throughout:
// - '/' starts a new line ('\n' in the result);
// - when values run out, writing stops at the next data item (or at ':'),
//   so text before it is still written;
// - while values remain at the end, a new line starts and writing resumes
//   at the rightmost top-level group (with its repeat count), or at the
//   start when there is none (format reversion);
// - kP stays in force until changed, scales E, D and F fields (F writes
//   value x 10^k) and leaves the fixed form of G alone;
// - wX blanks appear only when something follows them on the line.
// An integer value in an F/E/G field is written as a real; a real in an I
// field is rounded half away from zero. A malformed template, text in a
// numeric field or a number in an A field is a fault of the caller; it never
// throws into a command: the result is then "**** " and what is wrong.
std::string format_layout(std::string_view layout, const std::vector<FormatArg>& values);

// What is wrong with a layout template (as format_layout reports it), or
// nullopt when it is well formed.
std::optional<std::string> layout_error(std::string_view layout);

// ---- input side -------------------------------------------------------

// A number in a free numeric field (F12.0, F20.0 reads): optional sign,
// digits, optional point, optional exponent introduced by E, D, e or d (or a
// bare sign after digits, as Fortran allows "1.5+3"). Embedded and trailing
// blanks are ignored; an all-blank field, or one holding only a sign or a
// point, reads as 0. The caller cuts the text to the field width. nullopt
// when the text is not a number, including NaN, Infinity, an exponent
// without mantissa digits and values beyond the double range (values below
// it read as 0).
std::optional<double> read_real_field(std::string_view field);

// An integer in an Iw field (blanks ignored, all-blank or a sign alone is 0;
// nullopt for anything else that is not an integer, or on overflow).
std::optional<long long> read_integer_field(std::string_view field);

// List-directed read of up to values.size() numbers separated by blanks or
// commas; an empty value between two commas (or a comma at the start) keeps
// the old value; "r*v" is r copies of v and "r*" r empty values. Returns the
// number of values consumed (assigned or kept by empty values); nullopt when
// an item is not a number. Too few items is not an error: the count tells,
// so a reader can continue on the next line. "/" ends the list: the
// remaining values keep theirs and the result is values.size(), the read
// being complete. Items beyond values.size() are not looked at.
std::optional<int> read_list(std::string_view text, std::span<double> values);

} // namespace tarva
