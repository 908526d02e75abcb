#include "dataset/mca/mca_layout.h"

#include <bit>
#include <cmath>
#include <limits>
#include <sstream>

#include "text/format.h"

namespace tarva {

namespace {

std::uint32_t get_u32(std::string_view b, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(b[at])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}

std::int32_t get_i32(std::string_view b, std::size_t at) { return static_cast<std::int32_t>(get_u32(b, at)); }

std::int16_t get_i16(std::string_view b, std::size_t at) {
    return static_cast<std::int16_t>(
        static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8));
}

void put_u32(std::string& b, std::uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8) b.push_back(static_cast<char>((v >> shift) & 0xFF));
}

constexpr std::size_t kTypeAt = 4 * kMaxPoints;
constexpr std::size_t kCaptionAt = kTypeAt + 4;
constexpr std::size_t kParametersAt = kCaptionAt + 100;

} // namespace

std::optional<std::string_view> first_record(std::string_view file) {
    if (file.size() < 8) return std::nullopt;
    const std::uint64_t length = get_u32(file, 0);
    if (length > file.size() - 8) return std::nullopt;
    if (get_u32(file, 4 + static_cast<std::size_t>(length)) != length) return std::nullopt;
    return file.substr(4, static_cast<std::size_t>(length));
}

std::optional<SpectrumRecord> decode_spectrum(std::string_view file) {
    auto payload = first_record(file);
    if (!payload || payload->size() < kSpectrumPayload) return std::nullopt;
    const std::string_view p = *payload;
    SpectrumRecord r;
    for (std::size_t i = 0; i < r.counts.size(); ++i) r.counts[i] = get_i32(p, 4 * i);
    r.type = std::string(p.substr(kTypeAt, 4));
    r.caption = p.substr(kCaptionAt, 100);
    for (std::size_t i = 0; i < r.parameters.size(); ++i)
        r.parameters[i] = std::bit_cast<float>(get_u32(p, kParametersAt + 4 * i));
    return r;
}

std::optional<SpectrumBuffer> decode_old_spectrum(std::string_view file) {
    auto payload = first_record(file);
    if (!payload || payload->size() < kOldSpectrumPayload) return std::nullopt;
    SpectrumBuffer counts{};
    for (std::size_t i = 0; i < counts.size(); ++i) counts[i] = get_i16(*payload, 2 * i);
    return counts;
}

std::string encode_spectrum(const SpectrumRecord& record) {
    std::string b;
    b.reserve(kSpectrumPayload + 8);
    put_u32(b, kSpectrumPayload);
    for (std::int32_t c : record.counts) put_u32(b, static_cast<std::uint32_t>(c));
    b += pad(record.type, 4);
    b += record.caption.view();
    for (float v : record.parameters) put_u32(b, std::bit_cast<std::uint32_t>(v));
    put_u32(b, kSpectrumPayload);
    return b;
}

std::string ascii_spectrum_text(const SpectrumRecord& record, int count) {
    std::string t = " " + std::string(record.caption.trimmed()) + "\n ";
    for (float v : record.parameters) t += format_F(v, 10, 4) + " ";
    t += "\n";
    for (int i = 0; i < count && i < kMaxPoints; ++i)
        t += " " + format_I(record.counts[static_cast<std::size_t>(i)], 6) + "\n";
    return t;
}

std::optional<AsciiSpectrum> decode_ascii_spectrum(std::string_view text) {
    AsciiSpectrum a;
    std::istringstream in{std::string(text)};
    std::string line;
    if (!std::getline(in, line)) return std::nullopt;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    a.record.caption = line.empty() ? std::string_view() : std::string_view(line).substr(1);
    if (!std::getline(in, line)) return std::nullopt;
    std::array<double, 10> values{};
    auto got = read_list(line, values);
    if (!got || *got < 10) return std::nullopt;
    for (std::size_t i = 0; i < values.size(); ++i) a.record.parameters[i] = static_cast<float>(values[i]);
    while (std::getline(in, line)) {
        if (trimmed(line).empty() || line == "\r") continue;
        std::array<double, 1> count{};
        auto read = read_list(line, count);
        const double c = count[0];
        if (!read || *read < 1 || a.count >= kMaxPoints || c != std::trunc(c) ||
            c < std::numeric_limits<std::int32_t>::min() || c > std::numeric_limits<std::int32_t>::max())
            return std::nullopt;
        a.record.counts[static_cast<std::size_t>(a.count++)] = static_cast<std::int32_t>(c);
    }
    return a;
}

AcquisitionRecord decode_acquisition_record(std::string_view bytes) {
    AcquisitionRecord r{};
    const std::size_t n = std::min<std::size_t>(bytes.size() / 4, r.size());
    for (std::size_t i = 0; i < n; ++i) r[i] = get_i32(bytes, 4 * i);
    return r;
}

char kind_of_type(std::string_view type) {
    if (type == "XRAY") return 'X';
    if (type == "LUMI") return 'L';
    return 'R';
}

std::string type_of_kind(char kind) {
    if (kind == 'X') return "XRAY";
    if (kind == 'L') return "LUMI";
    return "RBS ";
}

std::int32_t count_of(double value) { return round_nearest(value); }

} // namespace tarva
