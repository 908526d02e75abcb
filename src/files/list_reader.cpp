#include "files/list_reader.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <limits>
#include <optional>
#include <vector>

#include "text/format.h"

namespace tarva {

ReadStatus RecordReader::next(std::string& record) {
    record.clear();
    std::streambuf* buf = in_->rdbuf();
    if (!buf || in_->bad()) return ReadStatus::Error;
    if (in_->eof()) return ReadStatus::End;
    bool any = false;
    for (;;) {
        int c;
        try {
            c = buf->sbumpc();
        } catch (...) {
            in_->setstate(std::ios::badbit);
            return ReadStatus::Error;
        }
        if (c == std::char_traits<char>::eof()) {
            in_->setstate(std::ios::eofbit);
            if (!any) return ReadStatus::End;
            break;
        }
        any = true;
        if (c == '\n') break;
        if (record.size() < kMaxDataRecord) record.push_back(static_cast<char>(c));
    }
    if (!record.empty() && record.back() == '\r') record.pop_back();
    ++records_;
    return ReadStatus::Ok;
}

void RecordReader::rewind() {
    in_->clear();
    in_->seekg(0);
    records_ = 0;
}

namespace {

bool is_space(char c) { return c == ' ' || c == '\t'; }

std::optional<double> parse_real_item(std::string_view token) {
    bool digit = false;
    for (char c : token)
        if (c >= '0' && c <= '9') digit = true;
    if (!digit) return std::nullopt; // "+", "." or "E5" are no numbers here
    auto v = read_real_field(token);
    if (!v || !std::isfinite(*v)) return std::nullopt;
    return v;
}

std::optional<long long> parse_integer_item(std::string_view token) {
    std::size_t p = 0;
    if (p < token.size() && (token[p] == '+' || token[p] == '-')) ++p;
    if (p == token.size()) return std::nullopt;
    for (std::size_t i = p; i < token.size(); ++i)
        if (token[i] < '0' || token[i] > '9') return std::nullopt;
    auto v = read_integer_field(token);
    if (!v || *v > std::numeric_limits<std::int32_t>::max() || *v < std::numeric_limits<std::int32_t>::min())
        return std::nullopt;
    return v;
}

template <typename Parse, typename Store>
ReadStatus read_list_items(RecordReader& in, std::size_t want, Parse parse, Store store) {
    std::string& record = in.scratch();
    ReadStatus st = in.next(record);
    if (st != ReadStatus::Ok) return st;
    std::size_t count = 0;
    std::size_t p = 0;
    bool pending = true; // at the start, or after a comma: an empty item counts
    while (count < want) {
        while (p < record.size() && is_space(record[p])) ++p;
        if (p >= record.size()) {
            // The end of a record separates like a blank.
            st = in.next(record);
            if (st != ReadStatus::Ok) return st;
            p = 0;
            continue;
        }
        const char c = record[p];
        if (c == '/') return ReadStatus::Ok;
        if (c == ',') {
            if (pending) ++count;
            pending = true;
            ++p;
            continue;
        }
        const std::size_t start = p;
        while (p < record.size() && !is_space(record[p]) && record[p] != ',' && record[p] != '/') ++p;
        std::string_view token(record.data() + start, p - start);
        std::size_t repeat = 1;
        const std::size_t star = token.find('*');
        if (star != std::string_view::npos) {
            const std::string_view r = token.substr(0, star);
            if (r.empty() || r.size() > 6) return ReadStatus::Error;
            repeat = 0;
            for (char d : r) {
                if (d < '0' || d > '9') return ReadStatus::Error;
                repeat = repeat * 10 + static_cast<std::size_t>(d - '0');
            }
            if (repeat == 0) return ReadStatus::Error;
            token = token.substr(star + 1);
            if (token.empty()) {
                count = std::min(want, count + repeat);
                pending = false;
                continue;
            }
        }
        const auto v = parse(token);
        if (!v) return ReadStatus::Error;
        for (std::size_t k = 0; k < repeat && count < want; ++k) store(count++, *v);
        pending = false;
    }
    return ReadStatus::Ok;
}

std::optional<double> parse_float_item(std::string_view token) {
    auto v = parse_real_item(token);
    if (v && std::fabs(*v) > std::numeric_limits<float>::max()) return std::nullopt;
    return v;
}

} // namespace

ReadStatus read_reals(RecordReader& in, std::span<double> values) {
    return read_list_items(in, values.size(), parse_real_item, [&](std::size_t i, double v) { values[i] = v; });
}

ReadStatus read_integers(RecordReader& in, std::span<long long> values) {
    return read_list_items(in, values.size(), parse_integer_item, [&](std::size_t i, long long v) { values[i] = v; });
}

ReadStatus read_float_items(RecordReader& in, std::size_t count, const std::function<void(std::size_t, float)>& store) {
    return read_list_items(in, count, parse_float_item,
                           [&](std::size_t i, double v) { store(i, static_cast<float>(v)); });
}

ReadStatus read_floats(RecordReader& in, std::span<float> values) {
    // The values are stored only when the whole list was read; a table's
    // few columns are collected on the stack (one record per call).
    std::array<float, 16> few;
    std::vector<float> many;
    std::span<float> work(few.data(), values.size());
    if (values.size() > few.size()) {
        many.resize(values.size());
        work = std::span<float>(many);
    }
    std::copy(values.begin(), values.end(), work.begin());
    const ReadStatus st = read_float_items(in, values.size(), [&](std::size_t i, float v) { work[i] = v; });
    if (st == ReadStatus::Ok) std::copy(work.begin(), work.end(), values.begin());
    return st;
}

} // namespace tarva
