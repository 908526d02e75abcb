#include "dataset/import/xylib_reply.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace tarva {

namespace {

std::string escaped(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += c;
        }
    }
    return out;
}

std::optional<std::string> unescaped(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i == text.size()) return std::nullopt;
        switch (text[i]) {
        case '\\': out += '\\'; break;
        case 't': out += '\t'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        default: return std::nullopt;
        }
    }
    return out;
}

void put_number(std::string& out, double v) {
    char buf[40];
    // Shortest text that reads back to the same double.
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

std::optional<double> number(std::string_view s) {
    double v = 0;
    if (s.empty()) return std::nullopt;
    auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    if (r.ec != std::errc() || r.ptr != s.data() + s.size()) return std::nullopt;
    return v;
}

std::optional<std::size_t> count(std::string_view s) {
    std::size_t v = 0;
    auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    if (s.empty() || r.ec != std::errc() || r.ptr != s.data() + s.size()) return std::nullopt;
    return v;
}

// Splits "A<TAB>B" into its two unescaped halves.
std::optional<std::pair<std::string, std::string>> pair_of(std::string_view s) {
    const std::size_t tab = s.find('\t');
    if (tab == std::string_view::npos) return std::nullopt;
    auto a = unescaped(s.substr(0, tab));
    auto b = unescaped(s.substr(tab + 1));
    if (!a || !b) return std::nullopt;
    return std::pair{*a, *b};
}

struct LineReader {
    std::string_view text;
    std::size_t at = 0;
    std::optional<std::string_view> next() {
        if (at >= text.size()) return std::nullopt;
        std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos) return std::nullopt; // every line ends with a newline
        std::string_view line = text.substr(at, end - at);
        at = end + 1;
        return line;
    }
};

bool starts(std::string_view line, std::string_view word, std::string_view& rest) {
    if (line.substr(0, word.size()) != word) return false;
    rest = line.substr(word.size());
    return true;
}

} // namespace

std::optional<std::string> XylibReply::meta_value(std::string_view key) const {
    for (const auto& [k, v] : meta)
        if (k == key) return v;
    return std::nullopt;
}

std::string encode_xylib_reply(const XylibReply& reply) {
    std::string out(kXylibReplyMagic);
    out += '\n';
    switch (reply.kind) {
    case XylibReply::Kind::none: out += "none\n"; break;
    case XylibReply::Kind::error: out += "error " + escaped(reply.format) + '\t' + escaped(reply.error) + '\n'; break;
    case XylibReply::Kind::data:
        out += "format " + escaped(reply.format) + '\t' + escaped(reply.description) + '\n';
        break;
    }
    for (const auto& t : reply.tried) out += "tried " + escaped(t) + '\n';
    if (reply.kind == XylibReply::Kind::data) {
        out += "blocks " + std::to_string(reply.blocks) + '\n';
        if (!reply.title.empty()) out += "title " + escaped(reply.title) + '\n';
        for (const auto& [k, v] : reply.meta) out += "meta " + escaped(k) + '\t' + escaped(v) + '\n';
        for (const auto& n : reply.column_names) out += "column " + escaped(n) + '\n';
        const std::size_t rows = reply.columns.empty() ? 0 : reply.columns.front().size();
        out.reserve(out.size() + rows * reply.columns.size() * 12 + 64);
        out += "rows " + std::to_string(rows) + '\n';
        for (std::size_t r = 0; r < rows; ++r) {
            for (std::size_t c = 0; c < reply.columns.size(); ++c) {
                if (c) out += ' ';
                put_number(out, r < reply.columns[c].size() ? reply.columns[c][r] : std::nan(""));
            }
            out += '\n';
        }
    }
    for (const auto& n : reply.notes) out += "note " + escaped(n) + '\n';
    out += "end\n";
    return out;
}

std::optional<XylibReply> decode_xylib_reply(std::string_view text) {
    LineReader in{text};
    auto first = in.next();
    if (!first || *first != kXylibReplyMagic) return std::nullopt;
    XylibReply r;
    auto kind_line = in.next();
    if (!kind_line) return std::nullopt;
    std::string_view rest;
    if (*kind_line == "none") {
        r.kind = XylibReply::Kind::none;
    } else if (starts(*kind_line, "error ", rest)) {
        auto p = pair_of(rest);
        if (!p) return std::nullopt;
        r.kind = XylibReply::Kind::error;
        r.format = p->first;
        r.error = p->second;
    } else if (starts(*kind_line, "format ", rest)) {
        auto p = pair_of(rest);
        if (!p) return std::nullopt;
        r.kind = XylibReply::Kind::data;
        r.format = p->first;
        r.description = p->second;
    } else {
        return std::nullopt;
    }
    bool rows_seen = false;
    while (auto line = in.next()) {
        if (*line == "end") {
            if (r.kind == XylibReply::Kind::data && !rows_seen) return std::nullopt;
            return r;
        }
        if (starts(*line, "tried ", rest)) {
            auto t = unescaped(rest);
            if (!t) return std::nullopt;
            r.tried.push_back(*t);
        } else if (starts(*line, "note ", rest)) {
            auto t = unescaped(rest);
            if (!t) return std::nullopt;
            r.notes.push_back(*t);
        } else if (r.kind != XylibReply::Kind::data || rows_seen) {
            return std::nullopt;
        } else if (starts(*line, "blocks ", rest)) {
            auto n = count(rest);
            if (!n || *n > 1000000) return std::nullopt;
            r.blocks = static_cast<int>(*n);
        } else if (starts(*line, "title ", rest)) {
            auto t = unescaped(rest);
            if (!t) return std::nullopt;
            r.title = *t;
        } else if (starts(*line, "meta ", rest)) {
            auto p = pair_of(rest);
            if (!p) return std::nullopt;
            r.meta.push_back(*p);
        } else if (starts(*line, "column ", rest)) {
            auto t = unescaped(rest);
            if (!t || r.column_names.size() == kXylibMostColumns) return std::nullopt;
            r.column_names.push_back(*t);
        } else if (starts(*line, "rows ", rest)) {
            auto n = count(rest);
            const std::size_t cols = r.column_names.size();
            if (!n || cols == 0 || *n > kXylibMostValues / cols) return std::nullopt;
            r.columns.assign(cols, {});
            for (auto& c : r.columns) c.reserve(*n);
            for (std::size_t row = 0; row < *n; ++row) {
                auto values = in.next();
                if (!values) return std::nullopt;
                std::string_view v = *values;
                for (std::size_t c = 0; c < cols; ++c) {
                    const std::size_t blank = v.find(' ');
                    const std::string_view item = v.substr(0, blank);
                    auto x = number(item);
                    if (!x || (blank == std::string_view::npos) != (c + 1 == cols)) return std::nullopt;
                    r.columns[c].push_back(*x);
                    v = blank == std::string_view::npos ? std::string_view() : v.substr(blank + 1);
                }
            }
            rows_seen = true;
        } else {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

} // namespace tarva
