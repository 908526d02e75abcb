// Splitting a prepared command line into word, qualifier and numeric
// argument: the interpreter's split of every line, and MASS's and XRAY's of
// their answers.
#include "commands/command_context.h"

#include <cmath>
#include <cstdint>
#include <string>

#include "text/format.h"

namespace tarva {

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Scans a number at the start of `text`. Returns the value; `complete` is
// false when a character other than digit, point, exponent or blank stopped
// the scan (the value is then what was read so far, with sign and point).
double scan_number(std::string_view text, int sign, bool& complete) {
    std::int64_t mantissa = 0;
    bool mantissa_overflow = false;
    double big_mantissa = 0.0;
    int digits = 0;
    int point_pos = -1;      // index of the point
    int last_digit_pos = -1; // index of the last mantissa digit
    bool exponent_seen = false;
    int exponent = 0;
    complete = true;
    std::size_t i = 0;
    for (; i < text.size(); ++i) {
        char c = text[i];
        if (c == ' ') break;
        if (is_digit(c)) {
            if (!mantissa_overflow && mantissa > (INT64_MAX - 9) / 10) {
                mantissa_overflow = true;
                big_mantissa = static_cast<double>(mantissa);
            }
            if (mantissa_overflow)
                big_mantissa = big_mantissa * 10.0 + (c - '0');
            else
                mantissa = mantissa * 10 + (c - '0');
            ++digits;
            last_digit_pos = static_cast<int>(i);
        } else if (c == '.') {
            if (point_pos >= 0) {
                complete = false;
                break;
            }
            point_pos = static_cast<int>(i);
        } else if (c == 'D' || c == 'E' || c == 'd' || c == 'e') {
            exponent_seen = true;
            // Up to three characters after the letter form the exponent.
            std::string_view rest = text.substr(i + 1, 3);
            std::size_t n = 0;
            while (n < rest.size() && rest[n] != ' ') ++n;
            rest = rest.substr(0, n);
            auto e = rest.empty() ? std::optional<long long>(0) : read_integer_field(rest);
            exponent = e ? static_cast<int>(*e) : 0;
            break;
        } else {
            complete = false;
            break;
        }
    }
    (void)digits;
    double m = mantissa_overflow ? big_mantissa : static_cast<double>(mantissa);
    if (point_pos < 0 && !exponent_seen) return sign * m;
    // Scaling by the point and the exponent is done in single precision.
    float value = static_cast<float>(sign * m);
    if (point_pos >= 0) {
        int shift = (last_digit_pos > point_pos) ? point_pos - last_digit_pos : 0;
        value = value * std::pow(10.0f, static_cast<float>(shift));
    }
    if (exponent_seen) value = value * std::pow(10.0f, static_cast<float>(exponent));
    return static_cast<double>(value);
}

} // namespace

void parse_command_line(FixedText<40>& fixed, char& qualifier, double& number) {
    qualifier = ' ';
    number = 0.0;
    int sign = 1;
    std::string line = fixed.str();
    std::size_t first = line.find_first_not_of(' ');
    if (first == std::string::npos) return; // all blank: stays blank
    line = line.substr(first);

    std::size_t blank = line.find(' ');
    if (blank == std::string::npos) blank = line.size();
    std::size_t slash = line.find('/');
    if (slash != std::string::npos && slash <= blank) {
        char q = slash + 1 < line.size() ? line[slash + 1] : ' ';
        qualifier = (q >= 'a' && q <= 'z') ? static_cast<char>(q - 'a' + 'A') : q;
        line.erase(slash, blank - slash);
        blank = slash;
    }

    std::string word = upper(line.substr(0, std::min<std::size_t>(blank, 6)));
    std::string arg;
    std::size_t a = line.find_first_not_of(' ', blank);
    if (a != std::string::npos) arg = line.substr(a);

    if (!arg.empty() && arg[0] == '+') {
        arg.erase(0, 1);
    } else if (!arg.empty() && arg[0] == '-') {
        arg.erase(0, 1);
        sign = -1;
    }
    if (!arg.empty() && (is_digit(arg[0]) || arg[0] == '.')) {
        bool complete = true;
        number = scan_number(arg, sign, complete);
        if (complete) arg = format_G(number, 13, 5, 1);
    }
    fixed = pad(word, 6) + " " + arg;
}

} // namespace tarva
