// Number formatting and number reading with Fortran edit-descriptor rules.
//
// Digits come from std::to_chars, which rounds the exact binary value of a
// double to the requested precision (ties to even), the same digits the
// gfortran run-time library prints. to_chars and from_chars ignore the C
// locale, so a decimal comma locale cannot leak into files.

#include "text/format.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <stdexcept>
#include <system_error>

namespace tarva {

namespace {

// Largest number of decimals or significant digits honoured; wider requests
// print asterisks instead of overrunning the conversion buffer.
constexpr int kMaxDigits = 330;
// Room for 309 integer digits, the point, kMaxDigits decimals and spare.
constexpr int kBufferSize = 700;

std::string stars(int w) { return std::string(w > 0 ? static_cast<std::size_t>(w) : 0u, '*'); }

bool is_blank(char c) { return c == ' ' || c == '\t'; }

void pad_left(std::string& out, std::size_t len, int w) {
    if (w > 0 && static_cast<std::size_t>(w) > len) out.append(static_cast<std::size_t>(w) - len, ' ');
}

// NaN and infinities as gfortran writes them in F, E and G fields: "NaN",
// "Infinity" (or "Inf" when the field is narrower than 8, "-Inf" narrower
// than 9), right-justified; asterisks when even the short word does not fit.
// A width of 0 or less means "as wide as needed".
std::string non_finite(double value, int w) {
    std::string_view word;
    const int room = w > 0 ? w : 9;
    if (std::isnan(value))
        word = room >= 3 ? "NaN" : "";
    else if (value > 0)
        word = room >= 8 ? "Infinity" : room >= 3 ? "Inf" : "";
    else
        word = room >= 9 ? "-Infinity" : room >= 4 ? "-Inf" : "";
    if (word.empty()) return stars(w);
    std::string out;
    pad_left(out, word.size(), w);
    out += word;
    return out;
}

// Significant digits of a finite, non-negative value rounded to sig digits:
// the digits go to digits[0..sig) and the value is d.ddd x 10^exponent.
// A zero gives sig zeros and exponent 0.
void significant_digits(double a, int sig, char* digits, int& exponent) {
    char buf[kBufferSize];
    const auto res = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::scientific, sig - 1);
    int n = 0;
    const char* p = buf;
    for (; p < res.ptr && *p != 'e'; ++p)
        if (*p != '.') digits[n++] = *p;
    // p is at 'e'; the exponent is signed and has at least two digits.
    ++p;
    const bool neg = (*p == '-');
    ++p;
    int e = 0;
    for (; p < res.ptr; ++p) e = e * 10 + (*p - '0');
    exponent = neg ? -e : e;
}

// Appends the exponent part of an Ew.d field: "E+05", "E-99", and for three
// digits the letter is dropped as Fortran requires ("+100", "-308").
// False when the exponent needs more than three digits.
bool append_exponent(std::string& out, int e) {
    const int ae = e < 0 ? -e : e;
    if (ae > 999) return false;
    if (ae <= 99) out += 'E';
    out += e < 0 ? '-' : '+';
    if (ae > 99) out += static_cast<char>('0' + ae / 100);
    out += static_cast<char>('0' + ae / 10 % 10);
    out += static_cast<char>('0' + ae % 10);
    return true;
}

} // namespace

// ---- output side --------------------------------------------------------

std::string format_I(long long value, int w) {
    char buf[24];
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    const std::size_t len = static_cast<std::size_t>(res.ptr - buf);
    if (w > 0 && len > static_cast<std::size_t>(w)) return stars(w);
    std::string out;
    out.reserve(w > 0 ? static_cast<std::size_t>(w) : len);
    pad_left(out, len, w);
    out.append(buf, len);
    return out;
}

namespace {

// Digits of a finite a >= 0 rounded to a multiple of 10^m (m > 0), ties to
// even, computed exactly: the integer part of a double converts exactly and
// only the question "is there a fraction" matters beyond it. Returns the
// kept digits, i.e. the rounded value divided by 10^m (at least one digit).
std::string round_left_of_point(double a, int m) {
    const double whole = std::floor(a);
    const bool has_fraction = a != whole;
    char buf[kBufferSize];
    const auto res = std::to_chars(buf, buf + sizeof buf, whole, std::chars_format::fixed, 0);
    std::string digits(buf, res.ptr);
    const std::size_t tail_len = static_cast<std::size_t>(m);
    if (digits.size() < tail_len + 1) digits.insert(0, tail_len + 1 - digits.size(), '0');
    std::string kept = digits.substr(0, digits.size() - tail_len);
    const std::string_view tail = std::string_view(digits).substr(digits.size() - tail_len);
    int cmp; // tail and fraction against one half of 10^m
    if (tail[0] != '5') {
        cmp = tail[0] > '5' ? 1 : -1;
    } else {
        cmp = has_fraction || tail.find_first_not_of('0', 1) != std::string_view::npos ? 1 : 0;
    }
    if (cmp > 0 || (cmp == 0 && (kept.back() - '0') % 2 == 1)) {
        std::size_t i = kept.size();
        while (i > 0 && kept[i - 1] == '9') kept[--i] = '0';
        if (i == 0)
            kept.insert(0, 1, '1');
        else
            ++kept[i - 1];
    }
    return kept;
}

} // namespace

// With a scale factor k the value written is value x 10^k (kP,Fw.d as in
// Fortran). The point is moved in the decimal text, so the scaling is exact
// and rounds the way the unscaled value would.
std::string format_F(double value, int w, int d, int scale) {
    if (!std::isfinite(value)) return non_finite(value, w);
    if (d < 0) d = 0;
    const int k = scale;
    if (d > kMaxDigits || k > kMaxDigits || k < -kMaxDigits) return stars(w);
    // The sign of a negative zero, or of a negative value that rounds to
    // zero, is kept: "-0.00" as gfortran writes it.
    const bool neg = std::signbit(value);
    const double a = std::fabs(value);

    // digits with the decimal point before digits[point] give the scaled,
    // rounded value; there are always d digits after the point.
    char buf[kBufferSize];
    std::string_view digits;
    std::string rounded;
    int point;
    if (d + k >= 0) {
        const auto res = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::fixed, d + k);
        if (res.ec != std::errc()) return stars(w);
        char* dot = std::find(buf, res.ptr, '.');
        point = static_cast<int>(dot - buf) + k;
        if (dot != res.ptr) std::copy(dot + 1, res.ptr, dot); // drop the point
        digits = std::string_view(buf, static_cast<std::size_t>(res.ptr - buf) - (dot != res.ptr ? 1 : 0));
    } else {
        rounded = round_left_of_point(a, -(d + k));
        digits = rounded;
        point = static_cast<int>(rounded.size()) - d;
    }
    std::string_view int_part;
    std::string_view frac_part;
    std::string padded;
    if (point <= 0) {
        padded.assign(static_cast<std::size_t>(-point), '0');
        padded += digits;
        int_part = "0";
        frac_part = padded;
    } else {
        std::size_t first = 0; // leading zeros of the integer part go
        while (first + 1 < static_cast<std::size_t>(point) && digits[first] == '0') ++first;
        int_part = digits.substr(first, static_cast<std::size_t>(point) - first);
        frac_part = digits.substr(static_cast<std::size_t>(point));
    }

    std::size_t len = (neg ? 1 : 0) + int_part.size() + 1 + frac_part.size();
    // The zero before the point may go when the field is too narrow, but
    // only when decimals follow (F2.0 of -0.2 is "**", not "-.").
    if (w > 0 && len > static_cast<std::size_t>(w) && d > 0 && int_part == "0") {
        int_part = std::string_view();
        --len;
    }
    if (w > 0 && len > static_cast<std::size_t>(w)) return stars(w);
    std::string out;
    out.reserve(w > 0 ? static_cast<std::size_t>(w) : len);
    pad_left(out, len, w);
    if (neg) out += '-';
    out += int_part;
    out += '.';
    out += frac_part;
    return out;
}

// Scale factor k (kP): k <= 0 writes "0." then -k zeros then d+k digits;
// k > 0 writes k digits before the point and d-k+1 after it. Fortran allows
// -d < k < d+2; outside that range the field is filled with asterisks.
std::string format_E(double value, int w, int d, int scale) {
    if (!std::isfinite(value)) return non_finite(value, w);
    if (d < 0) d = 0;
    const int k = scale;
    const int sig = k <= 0 ? d + k : d + 1;
    if (k <= -d || k >= d + 2 || sig < 1 || sig > kMaxDigits) return stars(w);

    const bool neg = std::signbit(value);
    const double a = std::fabs(value);
    char digits[kBufferSize];
    int x = 0;
    significant_digits(a, sig, digits, x);
    const int e = (a == 0) ? 0 : x + 1 - k;

    std::string out;
    out.reserve(static_cast<std::size_t>(w > 0 ? w : sig + 8));
    if (neg) out += '-';
    const std::size_t zero_pos = out.size();
    if (k <= 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-k), '0');
        out.append(digits, static_cast<std::size_t>(sig));
    } else {
        out.append(digits, static_cast<std::size_t>(k));
        out += '.';
        out.append(digits + k, static_cast<std::size_t>(sig - k));
    }
    if (!append_exponent(out, e)) return stars(w);
    if (w <= 0) return out;
    const std::size_t width = static_cast<std::size_t>(w);
    if (out.size() > width && k <= 0) out.erase(zero_pos, 1); // ".1000E+01"
    if (out.size() > width) return stars(w);
    out.insert(0, width - out.size(), ' ');
    return out;
}

// Fixed form when the value rounded to d significant digits lies in
// [0.1, 10^d), or is zero: F(w-4).(d-e) plus four blanks, e being the number
// of digits before the point (zero: d-1 decimals). Otherwise Ew.d with the
// scale factor; the fixed form ignores the scale factor.
// The F-or-E choice of Gw.d as the Fortran run-time library makes it: the
// range limits 0.1(1 - 0.5*10^-d) and 10^k(1 - 0.5*10^-d) are computed in the
// precision of the value itself, and a value equal to a computed limit belongs
// to the range above it. So the REAL 99.9995 (stored a little below the exact
// limit) prints as 100.00 in G13.5, not 99.999. Returns the decimals of the F
// form, or -1 for the E form.
template <typename Real>
static int general_decimals(Real m, int d) {
    const auto power = [](int k) {
        Real r = 1;
        for (int i = 0; i < std::abs(k); ++i) r *= 10;
        return k >= 0 ? r : Real(1) / r;
    };
    const Real exp_d = power(d);
    const Real half = Real(0.5);
    const Real r_sc = Real(1) - half / exp_d;
    // The lower limit is formed with the double constant 0.1, then stored in
    // the value's precision.
    const Real lowest = static_cast<Real>(0.1 * static_cast<double>(r_sc));
    if (m < lowest || half >= exp_d - m) return -1;
    // Binary search for the decade: mid = k + 1 where 10^(k-1) r_sc <= m < 10^k r_sc.
    int low = 0, high = d + 1, lbound = 0, ubound = d + 1, mid = 0;
    while (low <= high) {
        mid = (low + high) / 2;
        const Real limit = power(mid - 1) * r_sc;
        if (m < limit) {
            ubound = mid;
            if (ubound == lbound + 1) break;
            high = mid - 1;
        } else if (m > limit) {
            lbound = mid;
            if (ubound == lbound + 1) {
                ++mid;
                break;
            }
            low = mid + 1;
        } else {
            ++mid;
            break;
        }
    }
    return d + 1 - mid;
}

// Gw.d once the F-or-E choice is made (decimals < 0: E form).
static std::string general_field(double value, int w, int d, int scale, int decimals) {
    if (decimals < 0) return format_E(value, w, d, scale);
    if (w > 0 && w <= 4) return stars(w);
    std::string out = format_F(value, w > 0 ? w - 4 : 0, decimals);
    if (!out.empty() && out[0] == '*') return stars(w);
    out.append(4, ' ');
    return out;
}

std::string format_G(double value, int w, int d, int scale) {
    if (!std::isfinite(value)) return non_finite(value, w);
    if (d <= 0 || d > kMaxDigits) return format_E(value, w, d, scale);
    const int decimals = value == 0 ? d - 1 : general_decimals<double>(std::fabs(value), d);
    return general_field(value, w, d, scale, decimals);
}

std::string format_G(float value, int w, int d, int scale) {
    if (!std::isfinite(value)) return non_finite(value, w);
    if (d <= 0 || d > kMaxDigits) return format_E(value, w, d, scale);
    const int decimals = value == 0 ? d - 1 : general_decimals<float>(std::fabs(value), d);
    return general_field(value, w, d, scale, decimals);
}

std::string format_A(std::string_view text, int w) {
    if (w <= 0) return std::string(text);
    const std::size_t width = static_cast<std::size_t>(w);
    if (text.size() >= width) return std::string(text.substr(0, width));
    std::string out(width - text.size(), ' ');
    out += text;
    return out;
}

// Appends significant digits (trailing zeros already removed) with decimal
// exponent x in the free-format layout: fixed when -4 <= x <= 8, otherwise
// exponential with at least two exponent digits.
static void append_free_digits(std::string& out, const char* digits, int n, int x) {
    if (x < -4 || x > 8) {
        out += digits[0];
        out += '.';
        out.append(digits + 1, static_cast<std::size_t>(n - 1));
        out += 'E';
        out += x < 0 ? '-' : '+';
        const int ax = x < 0 ? -x : x;
        if (ax > 99) out += static_cast<char>('0' + ax / 100);
        out += static_cast<char>('0' + ax / 10 % 10);
        out += static_cast<char>('0' + ax % 10);
    } else if (x >= 0) {
        const int before = x + 1; // digits before the point
        if (n <= before) {
            out.append(digits, static_cast<std::size_t>(n));
            out.append(static_cast<std::size_t>(before - n), '0');
            out += '.';
        } else {
            out.append(digits, static_cast<std::size_t>(before));
            out += '.';
            out.append(digits + before, static_cast<std::size_t>(n - before));
        }
    } else {
        out += "0.";
        out.append(static_cast<std::size_t>(-x - 1), '0');
        out.append(digits, static_cast<std::size_t>(n));
    }
}

// Free format. A real is its own leading blank, a sign position (a blank,
// or a minus sign when negative) and the value rounded to 9 significant
// digits with trailing zeros removed and the decimal point always present:
//   1.5 -> "  1.5"   100 -> "  100."   0 -> "  0."   -0.25 -> " -0.25"
// When the decimal exponent (of the rounded value) is below -4 or above 8
// the exponential form is used, again trimmed, with at least two exponent
// digits and the letter E kept for three-digit exponents:
//   1e-5 -> "  1.E-05"   -2.25e-5 -> " -2.25E-05"   1.5e9 -> "  1.5E+09"
//   1e100 -> "  1.E+100"
// Every such text reads back through read_real_field and read_list.
// Negative zero is written "  0."; NaN and infinities as "  NaN",
// "  Infinity" and " -Infinity".
std::string free_real(double value) {
    if (std::isnan(value)) return "  NaN";
    if (std::isinf(value)) return value > 0 ? "  Infinity" : " -Infinity";
    if (value == 0) return "  0.";
    std::string out;
    out.reserve(20);
    out += ' ';
    out += value < 0 ? '-' : ' ';
    char digits[16];
    int x = 0;
    significant_digits(std::fabs(value), 9, digits, x);
    int n = 9;
    while (n > 1 && digits[n - 1] == '0') --n;
    append_free_digits(out, digits, n, x);
    return out;
}

// As free_real, but with as many significant digits as the value needs to
// read back as the identical double (at most 17): the shortest decimal
// text that rounds to it. Files that store double values and are read again
// by this program use it, so a save-and-load cycle changes no bit.
//   0.1 -> "  0.1"   1/3 -> "  0.3333333333333333"   1e300 -> "  1.E+300"
std::string free_real_exact(double value) {
    if (!std::isfinite(value) || value == 0) return free_real(value);
    char buf[40];
    const auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific);
    char digits[20];
    int n = 0;
    const char* p = buf;
    for (; p < res.ptr && *p != 'e'; ++p)
        if (*p != '.' && n < 17) digits[n++] = *p;
    ++p; // past 'e'
    const bool neg_exp = (p < res.ptr && *p == '-');
    if (p < res.ptr && (*p == '-' || *p == '+')) ++p;
    int x = 0;
    for (; p < res.ptr; ++p) x = x * 10 + (*p - '0');
    if (neg_exp) x = -x;
    while (n > 1 && digits[n - 1] == '0') --n;

    std::string out;
    out.reserve(28);
    out += ' ';
    out += value < 0 ? '-' : ' ';
    append_free_digits(out, digits, n, x);
    return out;
}

std::string free_int(long long value) {
    char buf[24];
    buf[0] = ' ';
    const auto res = std::to_chars(buf + 1, buf + sizeof buf, value);
    return std::string(buf, res.ptr);
}

// ---- layout templates ---------------------------------------------------

namespace {

enum class ItemKind { Integer, Fixed, Exponential, General, Text, Literal, Blanks, NewLine, Scale, Colon, Group };

struct Item {
    ItemKind kind = ItemKind::Literal;
    int repeat = 1;
    int w = 0;         // field width (0 for A alone: the whole text)
    int d = 0;         // decimals / digits; minimum digits for Iw.m (-1 none)
    char letter = 'E'; // exponent letter: E, or D for Dw.d
    std::string text;
    std::vector<Item> children;
};

[[noreturn]] void bad_layout(std::string_view layout, std::size_t pos, const char* what) {
    throw std::invalid_argument("format layout \"" + std::string(layout) + "\" at column " + std::to_string(pos + 1) +
                                ": " + what);
}

class LayoutParser {
public:
    explicit LayoutParser(std::string_view layout) : s_(layout) {}

    std::vector<Item> parse() {
        skip_blanks();
        std::vector<Item> items;
        if (pos_ < s_.size() && s_[pos_] == '(') {
            ++pos_;
            items = parse_list(true);
            skip_blanks();
            if (pos_ != s_.size()) bad_layout(s_, pos_, "text after the closing parenthesis");
        } else {
            items = parse_list(false);
        }
        return items;
    }

private:
    std::string_view s_;
    std::size_t pos_ = 0;

    void skip_blanks() {
        while (pos_ < s_.size() && is_blank(s_[pos_])) ++pos_;
    }
    bool at_digit() const { return pos_ < s_.size() && s_[pos_] >= '0' && s_[pos_] <= '9'; }

    int read_number() {
        if (!at_digit()) bad_layout(s_, pos_, "number expected");
        long n = 0;
        while (at_digit()) {
            n = n * 10 + (s_[pos_++] - '0');
            if (n > 100000) bad_layout(s_, pos_, "number too large");
            skip_blanks();
        }
        return static_cast<int>(n);
    }

    // Items up to the closing parenthesis (inside a group) or the end.
    std::vector<Item> parse_list(bool in_group) {
        std::vector<Item> items;
        for (;;) {
            skip_blanks();
            if (pos_ >= s_.size()) {
                if (in_group) bad_layout(s_, pos_, "missing closing parenthesis");
                return items;
            }
            const char c = s_[pos_];
            if (c == ',') {
                ++pos_;
                continue;
            }
            if (c == ')') {
                if (!in_group) bad_layout(s_, pos_, "unbalanced parenthesis");
                ++pos_;
                return items;
            }
            items.push_back(parse_item());
        }
    }

    Item parse_item() {
        Item item;
        bool negative = false;
        bool has_count = false;
        int count = 1;
        if (s_[pos_] == '-' || s_[pos_] == '+') { // only before P
            negative = s_[pos_] == '-';
            ++pos_;
            skip_blanks();
            if (!at_digit()) bad_layout(s_, pos_, "number expected after sign");
        }
        if (at_digit()) {
            count = read_number();
            has_count = true;
        }
        if (pos_ >= s_.size()) bad_layout(s_, pos_, "item expected");
        const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(s_[pos_])));
        if (negative && c != 'P') bad_layout(s_, pos_, "a sign is allowed only before P");
        const std::size_t after = ++pos_; // text items start right here
        if (c != 'H' && c != '\'' && c != '"') skip_blanks();
        switch (c) {
        case 'P':
            if (!has_count) bad_layout(s_, pos_ - 1, "P needs a scale factor");
            item.kind = ItemKind::Scale;
            item.w = negative ? -count : count;
            return item;
        case 'X':
            item.kind = ItemKind::Blanks;
            item.w = has_count ? count : 1;
            return item;
        case 'H': {
            if (!has_count || count < 1 || after + static_cast<std::size_t>(count) > s_.size())
                bad_layout(s_, after - 1, "bad Hollerith text");
            item.kind = ItemKind::Literal;
            item.text = std::string(s_.substr(after, static_cast<std::size_t>(count)));
            pos_ = after + static_cast<std::size_t>(count);
            return item;
        }
        case '\'':
        case '"': {
            if (has_count) bad_layout(s_, after - 1, "repeat count before quoted text");
            std::size_t p = after;
            item.kind = ItemKind::Literal;
            for (;;) {
                if (p >= s_.size()) bad_layout(s_, p, "unterminated quoted text");
                if (s_[p] == c) {
                    if (p + 1 < s_.size() && s_[p + 1] == c) { // doubled quote
                        item.text += c;
                        p += 2;
                        continue;
                    }
                    ++p;
                    break;
                }
                item.text += s_[p++];
            }
            pos_ = p;
            return item;
        }
        case '/':
            item.kind = ItemKind::NewLine;
            item.repeat = count;
            return item;
        case ':': item.kind = ItemKind::Colon; return item;
        case '(':
            item.kind = ItemKind::Group;
            item.repeat = count;
            item.children = parse_list(true);
            return item;
        case 'I':
            item.kind = ItemKind::Integer;
            item.repeat = count;
            item.w = read_number();
            item.d = -1;
            if (pos_ < s_.size() && s_[pos_] == '.') {
                ++pos_;
                skip_blanks();
                item.d = read_number();
            }
            return item;
        case 'F':
        case 'E':
        case 'D':
        case 'G':
            item.kind = c == 'F' ? ItemKind::Fixed : c == 'G' ? ItemKind::General : ItemKind::Exponential;
            item.letter = c == 'D' ? 'D' : 'E';
            item.repeat = count;
            item.w = read_number();
            if (pos_ >= s_.size() || s_[pos_] != '.') bad_layout(s_, pos_, "'.d' expected");
            ++pos_;
            skip_blanks();
            item.d = read_number();
            return item;
        case 'A':
            item.kind = ItemKind::Text;
            item.repeat = count;
            item.w = at_digit() ? read_number() : 0;
            return item;
        default: bad_layout(s_, pos_ - 1, "unknown edit descriptor");
        }
    }
};

// Numeric views of a layout argument. Whole numbers go to real fields as
// their value; a real in an I field is rounded half away from zero.
// Text in a numeric field (or a number in an A field) is a programming
// error and throws.
double as_real(const FormatArg& a) {
    if (auto p = std::get_if<double>(&a)) return *p;
    if (auto p = std::get_if<float>(&a)) return static_cast<double>(*p);
    if (auto p = std::get_if<long long>(&a)) return static_cast<double>(*p);
    if (auto p = std::get_if<int>(&a)) return static_cast<double>(*p);
    throw std::invalid_argument("format layout: text given to a numeric field");
}

std::string_view as_text(const FormatArg& a) {
    if (auto p = std::get_if<std::string_view>(&a)) return *p;
    if (auto p = std::get_if<std::string>(&a)) return *p;
    if (auto p = std::get_if<const char*>(&a)) return *p ? std::string_view(*p) : std::string_view();
    throw std::invalid_argument("format layout: number given to an A field");
}

// wX only moves the position: its blanks appear when something follows on
// the same line, so a layout ending in 3X adds no trailing blanks (as in
// Fortran, where the record ends at its last written character).
class LayoutWriter {
public:
    explicit LayoutWriter(const std::vector<FormatArg>& values) : values_(values) {}

    std::string out;
    std::size_t next = 0; // next value to write
    bool stopped = false; // a data item found no value left

    void run(const std::vector<Item>& items) {
        for (const Item& item : items) {
            for (int r = 0; r < item.repeat; ++r) {
                write_item(item);
                if (stopped) return;
            }
        }
    }

    void new_line() {
        pending_blanks_ = 0;
        out += '\n';
    }

private:
    const std::vector<FormatArg>& values_;
    int scale_ = 0;
    std::size_t pending_blanks_ = 0;

    void put(std::string_view text) {
        out.append(pending_blanks_, ' ');
        pending_blanks_ = 0;
        out += text;
    }

    void write_item(const Item& item) {
        switch (item.kind) {
        case ItemKind::Literal: put(item.text); return;
        case ItemKind::Blanks: pending_blanks_ += static_cast<std::size_t>(item.w); return;
        case ItemKind::NewLine: new_line(); return;
        case ItemKind::Scale: scale_ = item.w; return;
        case ItemKind::Colon:
            if (next >= values_.size()) stopped = true;
            return;
        case ItemKind::Group: run(item.children); return; // repeat handled by run()
        default: break;
        }
        if (next >= values_.size()) {
            stopped = true;
            return;
        }
        const FormatArg& v = values_[next++];
        switch (item.kind) {
        case ItemKind::Integer: put(integer_field(v, item)); return;
        case ItemKind::Fixed: put(format_F(as_real(v), item.w, item.d, scale_)); return;
        case ItemKind::Exponential: {
            std::string field = format_E(as_real(v), item.w, item.d, scale_);
            if (item.letter != 'E') std::replace(field.begin(), field.end(), 'E', item.letter);
            put(field);
            return;
        }
        case ItemKind::General:
            if (auto f = std::get_if<float>(&v))
                put(format_G(*f, item.w, item.d, scale_));
            else
                put(format_G(as_real(v), item.w, item.d, scale_));
            return;
        case ItemKind::Text: put(format_A(as_text(v), item.w)); return;
        default: return;
        }
    }

    static std::string integer_field(const FormatArg& v, const Item& item) {
        long long n;
        if (auto p = std::get_if<long long>(&v)) {
            n = *p;
        } else if (auto q = std::get_if<int>(&v)) {
            n = *q;
        } else {
            const double x = as_real(v);
            if (!std::isfinite(x) || std::fabs(x) >= 9.2e18) return stars(item.w);
            n = std::llround(x);
        }
        if (item.d < 0) return format_I(n, item.w);
        // Iw.m: at least m digits, zero-filled; Iw.0 writes zero as blanks.
        if (n == 0 && item.d == 0) return std::string(static_cast<std::size_t>(item.w), ' ');
        char buf[24];
        const unsigned long long mag =
            n < 0 ? 0ull - static_cast<unsigned long long>(n) : static_cast<unsigned long long>(n);
        const auto res = std::to_chars(buf, buf + sizeof buf, mag);
        const std::size_t ndig = static_cast<std::size_t>(res.ptr - buf);
        const std::size_t digits = std::max(ndig, static_cast<std::size_t>(item.d));
        const std::size_t len = digits + (n < 0 ? 1 : 0);
        if (item.w > 0 && len > static_cast<std::size_t>(item.w)) return stars(item.w);
        std::string field;
        pad_left(field, len, item.w);
        if (n < 0) field += '-';
        field.append(digits - ndig, '0');
        field.append(buf, ndig);
        return field;
    }
};

bool has_data_item(const std::vector<Item>& items) {
    for (const Item& item : items) {
        switch (item.kind) {
        case ItemKind::Integer:
        case ItemKind::Fixed:
        case ItemKind::Exponential:
        case ItemKind::General:
        case ItemKind::Text: return true;
        case ItemKind::Group:
            if (has_data_item(item.children)) return true;
            break;
        default: break;
        }
    }
    return false;
}

} // namespace

namespace {

// format_layout's work; a malformed layout or a value of the wrong kind
// throws std::invalid_argument.
std::string write_layout(std::string_view layout, const std::vector<FormatArg>& values) {
    const std::vector<Item> items = LayoutParser(layout).parse();
    LayoutWriter writer(values);
    writer.run(items);
    if (writer.stopped || writer.next >= values.size() || !has_data_item(items)) return std::move(writer.out);

    // Reversion: a new line, then again from the rightmost top-level group
    // (with its repeat count), or from the start when there is none.
    std::size_t restart = items.size();
    for (std::size_t i = items.size(); i-- > 0;)
        if (items[i].kind == ItemKind::Group) {
            restart = i;
            break;
        }
    const std::vector<Item> tail =
        restart < items.size() ? std::vector<Item>(items.begin() + static_cast<std::ptrdiff_t>(restart), items.end())
                               : items;
    if (!has_data_item(tail)) return std::move(writer.out);
    while (!writer.stopped && writer.next < values.size()) {
        writer.new_line();
        writer.run(tail);
    }
    return std::move(writer.out);
}

} // namespace

std::string format_layout(std::string_view layout, const std::vector<FormatArg>& values) {
    try {
        return write_layout(layout, values);
    } catch (const std::invalid_argument& e) {
        return std::string("**** ") + e.what();
    }
}

std::optional<std::string> layout_error(std::string_view layout) {
    try {
        (void)LayoutParser(layout).parse();
        return std::nullopt;
    } catch (const std::invalid_argument& e) {
        return std::string(e.what());
    }
}

// ---- input side ---------------------------------------------------------

namespace {

// Parses a number whose blanks have already been removed: [sign] digits
// [. digits] [exponent], the exponent being E, D or Q (either case) with an
// optional sign and digits, or a bare sign and digits after the mantissa.
// When allow_bare is set, a text holding only a sign and/or a point (no
// digits, no exponent) reads as zero, as gfortran's F input does.
std::optional<double> parse_real(std::string_view t, bool allow_bare) {
    std::size_t p = 0;
    const std::size_t n = t.size();
    bool negative = false;
    if (p < n && (t[p] == '+' || t[p] == '-')) negative = (t[p++] == '-');
    auto digit = [&](std::size_t i) { return i < n && t[i] >= '0' && t[i] <= '9'; };

    const std::size_t int_start = p;
    while (digit(p)) ++p;
    const std::size_t int_end = p;
    std::size_t frac_start = p, frac_end = p;
    if (p < n && t[p] == '.') {
        frac_start = ++p;
        while (digit(p)) ++p;
        frac_end = p;
    }
    const bool has_digits = int_end > int_start || frac_end > frac_start;

    bool exp_negative = false;
    long exponent = 0;
    bool has_exponent = false;
    if (p < n) {
        const char c = t[p];
        if (c == 'E' || c == 'e' || c == 'D' || c == 'd' || c == 'Q' || c == 'q') {
            ++p;
            if (p < n && (t[p] == '+' || t[p] == '-')) exp_negative = (t[p++] == '-');
        } else if (c == '+' || c == '-') {
            exp_negative = (c == '-');
            ++p;
        } else {
            return std::nullopt;
        }
        if (!digit(p)) return std::nullopt;
        while (digit(p)) {
            if (exponent < 100000) exponent = exponent * 10 + (t[p] - '0');
            ++p;
        }
        has_exponent = true;
        if (p != n) return std::nullopt;
    }
    if (!has_digits) {
        if (allow_bare && !has_exponent) return negative ? -0.0 : 0.0;
        return std::nullopt;
    }

    // Canonical text for from_chars: digits.digitsE[-]exponent, at most 10
    // characters longer than the field (a 0, the point, e, the sign and six
    // exponent digits). It is built on the stack for the usual short field:
    // a data file has a number in every item.
    char small[64];
    std::string large;
    char* canon = small;
    if (n + 16 > sizeof small) {
        large.resize(n + 16);
        canon = large.data();
    }
    std::size_t len = 0;
    const auto put = [&](std::string_view part) {
        std::copy(part.begin(), part.end(), canon + len);
        len += part.size();
    };
    put(t.substr(int_start, int_end - int_start));
    if (int_end == int_start) canon[len++] = '0';
    if (frac_end > frac_start) {
        canon[len++] = '.';
        put(t.substr(frac_start, frac_end - frac_start));
    }
    if (has_exponent) {
        canon[len++] = 'e';
        if (exp_negative) canon[len++] = '-';
        const auto digits = std::to_chars(canon + len, canon + n + 16, exponent);
        len = static_cast<std::size_t>(digits.ptr - canon);
    }
    double value = 0;
    const auto res = std::from_chars(canon, canon + len, value);
    if (res.ec == std::errc::result_out_of_range) {
        // Tell overflow (not a usable number) from underflow (zero) by the
        // decimal magnitude: position of the first non-zero digit.
        long magnitude = 0;
        std::size_t i = int_start;
        while (i < int_end && t[i] == '0') ++i;
        if (i < int_end) {
            magnitude = static_cast<long>(int_end - i);
        } else {
            std::size_t j = frac_start;
            while (j < frac_end && t[j] == '0') ++j;
            magnitude = -static_cast<long>(j - frac_start);
        }
        magnitude += exp_negative ? -exponent : exponent;
        if (magnitude > 0) return std::nullopt;
        return negative ? -0.0 : 0.0;
    }
    if (res.ec != std::errc() || res.ptr != canon + len) return std::nullopt;
    return negative ? -value : value;
}

// Copies the field without its blanks (embedded blanks are ignored).
std::string squeeze_blanks(std::string_view field) {
    std::string t;
    t.reserve(field.size());
    for (char c : field)
        if (!is_blank(c)) t += c;
    return t;
}

} // namespace

// Deviations from gfortran, on purpose: NaN, Infinity, an exponent without
// any mantissa digit ("E5") and values beyond the double range are not
// accepted, so that a prompt asks again instead of storing nonsense. A
// field holding only a sign or a point reads as 0, as in gfortran.
std::optional<double> read_real_field(std::string_view field) {
    if (std::none_of(field.begin(), field.end(), is_blank)) return parse_real(field, true);
    return parse_real(squeeze_blanks(field), true);
}

std::optional<long long> read_integer_field(std::string_view field) {
    const std::string t = squeeze_blanks(field);
    std::size_t p = 0;
    bool negative = false;
    if (p < t.size() && (t[p] == '+' || t[p] == '-')) negative = (t[p++] == '-');
    if (p == t.size()) return 0; // blank, or a sign alone
    unsigned long long mag = 0;
    const unsigned long long limit = negative
                                         ? 0ull - static_cast<unsigned long long>(std::numeric_limits<long long>::min())
                                         : static_cast<unsigned long long>(std::numeric_limits<long long>::max());
    for (; p < t.size(); ++p) {
        const char c = t[p];
        if (c < '0' || c > '9') return std::nullopt;
        const unsigned digit = static_cast<unsigned>(c - '0');
        if (mag > (limit - digit) / 10) return std::nullopt;
        mag = mag * 10 + digit;
    }
    if (negative) return static_cast<long long>(0ull - mag);
    return static_cast<long long>(mag);
}

// Fortran list-directed rules: values are separated by a comma (with any
// blanks around it) or by blanks; two commas with nothing between them, or a
// comma at the start, leave a value unchanged. "r*v" stands for r copies of
// v and "r*" for r unchanged values. A "/" ends the read, every remaining
// value keeping its old content; that counts as reading all of them.
std::optional<int> read_list(std::string_view text, std::span<double> values) {
    const std::size_t want = values.size();
    std::size_t count = 0;
    std::size_t p = 0;
    const std::size_t n = text.size();
    bool value_pending = true; // at the start, or after a comma
    while (count < want) {
        while (p < n && is_blank(text[p])) ++p;
        if (p >= n) break;
        const char c = text[p];
        if (c == '/') return static_cast<int>(want);
        if (c == ',') {
            if (value_pending) ++count; // empty value: keep the old one
            value_pending = true;
            ++p;
            continue;
        }
        const std::size_t start = p;
        while (p < n && !is_blank(text[p]) && text[p] != ',' && text[p] != '/') ++p;
        std::string_view token = text.substr(start, p - start);
        std::size_t repeat = 1;
        const std::size_t star = token.find('*');
        if (star != std::string_view::npos) {
            const std::string_view r = token.substr(0, star);
            if (r.empty() || r.size() > 6) return std::nullopt;
            repeat = 0;
            for (char d : r) {
                if (d < '0' || d > '9') return std::nullopt;
                repeat = repeat * 10 + static_cast<std::size_t>(d - '0');
            }
            if (repeat == 0) return std::nullopt;
            token = token.substr(star + 1);
        }
        if (star != std::string_view::npos && token.empty()) {
            count = std::min(want, count + repeat); // r* : r empty values
        } else {
            const auto v = parse_real(token, false);
            if (!v) return std::nullopt;
            for (std::size_t k = 0; k < repeat && count < want; ++k) values[count++] = *v;
        }
        value_pending = false;
    }
    return static_cast<int>(count);
}

} // namespace tarva
