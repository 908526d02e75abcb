#include "dataset/import/text_scan.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace tarva {

std::optional<TextLine> LineScanner::next() {
    if (at_ >= text_.size()) return std::nullopt;
    std::size_t end = text_.find('\n', at_);
    if (end == std::string_view::npos) end = text_.size();
    std::string_view line = text_.substr(at_, end - at_);
    at_ = end + 1;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
    return TextLine{line, ++number_};
}

std::string_view trim(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const std::size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

std::string lower_ascii(std::string_view text) {
    std::string s(text);
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

bool starts_with_nocase(std::string_view text, std::string_view head) {
    return text.size() >= head.size() && lower_ascii(text.substr(0, head.size())) == lower_ascii(head);
}

std::optional<double> parse_number(std::string_view field, bool decimal_comma) {
    if (!field.empty() && field.front() == '+') field.remove_prefix(1);
    if (field.empty() || field.size() > 64) return std::nullopt;
    // from_chars reads neither "D" exponents nor decimal commas: copy the
    // field only when it holds one of them.
    char buf[65];
    const bool rewrite = field.find_first_of(decimal_comma ? "dD," : "dD") != std::string_view::npos;
    if (rewrite) {
        for (std::size_t i = 0; i < field.size(); ++i) {
            char c = field[i];
            if (c == 'd' || c == 'D') c = 'e';
            if (c == ',') c = '.';
            buf[i] = c;
        }
        field = std::string_view(buf, field.size());
    }
    // Only digits, signs, a point and an exponent: from_chars would also take
    // "inf", "nan" and hexadecimal forms.
    for (char c : field)
        if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E')) return std::nullopt;
    double v = 0;
    auto r = std::from_chars(field.data(), field.data() + field.size(), v);
    if (r.ec != std::errc() || r.ptr != field.data() + field.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

std::vector<std::string_view> split_fields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        if (i == line.size()) break;
        std::size_t j = i;
        while (j < line.size() && line[j] != ' ' && line[j] != '\t' && line[j] != ',') ++j;
        fields.push_back(line.substr(i, j - i));
        i = j;
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        if (i < line.size() && line[i] == ',') ++i;
    }
    return fields;
}

bool append_numbers(std::string_view line, std::vector<double>& out, std::string_view* bad) {
    const std::size_t before = out.size();
    for (std::string_view f : split_fields(line)) {
        auto v = parse_number(f);
        if (!v) {
            out.resize(before);
            if (bad) *bad = f;
            return false;
        }
        out.push_back(*v);
    }
    return true;
}

bool looks_binary(std::string_view bytes) {
    const std::string_view head = bytes.substr(0, 4096);
    int control = 0;
    for (unsigned char c : head) {
        if (c == 0) return true;
        if (c < 32 && c != '\n' && c != '\r' && c != '\t' && c != '\f' && c != '\v' && c != 0x1a) ++control;
    }
    return control > static_cast<int>(head.size() / 100) + 2;
}

std::string quoted(std::string_view field) {
    std::string s(field.substr(0, 20));
    for (char& c : s)
        if (static_cast<unsigned char>(c) < 32) c = '?';
    return "\"" + s + (field.size() > 20 ? "...\"" : "\"");
}

} // namespace tarva
