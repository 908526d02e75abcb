#include "text/fixed_text.h"

#include <cmath>
#include <limits>

namespace tarva {

std::size_t last_nonblank(std::string_view text) {
    std::size_t n = text.size();
    while (n > 0 && (text[n - 1] == ' ' || text[n - 1] == '\t')) --n;
    return n;
}

std::string_view trim(std::string_view text) {
    // By hand: find_first_not_of costs a library call per character, and
    // the instrument readers trim every line.
    std::size_t first = 0, end = text.size();
    while (first < end && (text[first] == ' ' || text[first] == '\t')) ++first;
    while (end > first && (text[end - 1] == ' ' || text[end - 1] == '\t' || text[end - 1] == '\r')) --end;
    return text.substr(first, end - first);
}

bool text_equal(std::string_view a, std::string_view b) { return trimmed(a) == trimmed(b); }

void to_upper(std::string& text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
}

void to_lower(std::string& text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
}

std::string upper(std::string_view text) {
    std::string s(text);
    to_upper(s);
    return s;
}

std::string lower(std::string_view text) {
    std::string s(text);
    to_lower(s);
    return s;
}

std::string pad(std::string_view text, std::size_t n) {
    std::string s(text.substr(0, std::min(n, text.size())));
    s.resize(n, ' ');
    return s;
}

int round_nearest(double value) {
    double r = std::trunc(value + 0.5);
    if (!(r == r)) return 0;
    if (r >= static_cast<double>(std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
    if (r <= static_cast<double>(std::numeric_limits<int>::min())) return std::numeric_limits<int>::min();
    return static_cast<int>(r);
}

bool left_justify(std::string& text) {
    std::size_t len = last_nonblank(text);
    if (len <= 1) return false;
    bool too_long = false;
    if (len >= 200) {
        too_long = true;
        len = 200;
    }
    std::size_t first = 0;
    while (first < len && text[first] == ' ') ++first;
    if (first == len || first == 0) return too_long;
    // The whole field moves left (trailing TABs with it), blanks coming in
    // at its end; an over-long text moves only within its first 200.
    const std::size_t window = too_long ? len : text.size();
    for (std::size_t i = 0; i < window; ++i) text[i] = (i + first < window) ? text[i + first] : ' ';
    return too_long;
}

} // namespace tarva
