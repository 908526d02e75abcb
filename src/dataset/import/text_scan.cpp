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
    // A UTF-8 byte-order mark before the first line is no part of it.
    if (at_ == 0 && line.substr(0, 3) == "\xEF\xBB\xBF") line.remove_prefix(3);
    at_ = end + 1;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
    return TextLine{line, ++number_};
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
    // Only digits, signs, a point and an exponent (from_chars would also take
    // "inf", "nan" and hexadecimal forms); from_chars reads neither "D"
    // exponents nor decimal commas, so a field holding one is copied.
    bool rewrite = false;
    for (char c : field) {
        if ((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E') continue;
        if (c == 'd' || c == 'D' || (decimal_comma && c == ',')) {
            rewrite = true;
            continue;
        }
        return std::nullopt;
    }
    char buf[64];
    if (rewrite) {
        for (std::size_t i = 0; i < field.size(); ++i) {
            const char c = field[i];
            buf[i] = c == 'd' || c == 'D' ? 'e' : c == ',' ? '.' : c;
        }
        field = std::string_view(buf, field.size());
    }
    double v = 0;
    auto r = std::from_chars(field.data(), field.data() + field.size(), v);
    if (r.ec != std::errc() || r.ptr != field.data() + field.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

bool next_field(std::string_view line, std::size_t& i, std::string_view& field) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i == line.size()) return false;
    std::size_t j = i;
    while (j < line.size() && line[j] != ' ' && line[j] != '\t' && line[j] != ',') ++j;
    field = line.substr(i, j - i);
    i = j;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i < line.size() && line[i] == ',') ++i;
    return true;
}

std::vector<std::string_view> split_fields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t i = 0;
    std::string_view f;
    while (next_field(line, i, f)) fields.push_back(f);
    return fields;
}

bool append_numbers(std::string_view line, std::vector<double>& out, std::string_view* bad) {
    const std::size_t before = out.size();
    std::size_t i = 0;
    std::string_view f;
    while (next_field(line, i, f)) {
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
