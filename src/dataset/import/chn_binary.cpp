// The binary integer spectrum of ORTEC's MCA software (.chn), little-endian:
//   header, 32 bytes:  int16 -1, int16 MCA number, int16 segment, 2 ASCII
//                      seconds of the start time, int32 real time and int32
//                      live time in 20 ms ticks, 8 ASCII start date, 4 ASCII
//                      start time, uint16 first channel, uint16 channels
//   counts:            one int32 per channel
//   trailer, 512 bytes: int16 -101 (linear) or -102 (quadratic calibration),
//                      2 reserved, float32 energy offset, slope and quadratic
//                      term, three float32 of the peak-width calibration, 228
//                      reserved, a length byte and 63 bytes of detector
//                      description, a length byte and 63 bytes of sample
//                      description, 128 reserved
// A file without a trailer (older software) has no calibration. The sample
// description is the title.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "dataset/import/readers.h"

namespace tarva {

namespace {

constexpr std::size_t kHeader = 32;
constexpr std::size_t kTrailer = 512;

std::uint32_t u32(std::string_view b, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + static_cast<std::size_t>(i)]);
    return v;
}
std::uint16_t u16(std::string_view b, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) | (static_cast<unsigned char>(b[at + 1]) << 8));
}
float f32(std::string_view b, std::size_t at) {
    const std::uint32_t bits = u32(b, at);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

// Printable text of a length byte and the characters after it.
std::string counted_text(std::string_view b, std::size_t at, std::size_t most) {
    const std::size_t n = std::min<std::size_t>(static_cast<unsigned char>(b[at]), most);
    std::string s;
    for (std::size_t i = 0; i < n; ++i) {
        const char c = b[at + 1 + i];
        s += static_cast<unsigned char>(c) >= 32 && c != 127 ? c : ' ';
    }
    const std::size_t end = s.find_last_not_of(' ');
    return end == std::string::npos ? std::string() : s.substr(0, end + 1);
}

} // namespace

bool chn_signature(std::string_view b) { return b.size() >= kHeader && u16(b, 0) == 0xFFFF && u16(b, 30) > 0; }

ReadOutcome read_chn(const FileBytes& file) {
    const std::string_view b = file.bytes;
    if (b.size() < kHeader)
        return ReadOutcome::failure("the file ends at byte " + std::to_string(b.size()) +
                                    ", inside the 32-byte header");
    if (u16(b, 0) != 0xFFFF) return ReadOutcome::failure("byte 0: the header does not begin with -1");
    const std::size_t channels = u16(b, 30);
    if (channels == 0) return ReadOutcome::failure("byte 30: the header gives 0 channels");
    const std::size_t end = kHeader + 4 * channels;
    if (b.size() < end)
        return ReadOutcome::failure("the file ends at byte " + std::to_string(b.size()) + ": " +
                                    std::to_string(channels) + " channels need " + std::to_string(end) + " bytes");
    InstrumentSpectrum s;
    s.layout = "ORTEC CHN binary spectrum";
    s.first_channel = u16(b, 28);
    s.real_time = static_cast<std::int32_t>(u32(b, 8)) * 0.02;
    s.live_time = static_cast<std::int32_t>(u32(b, 12)) * 0.02;
    s.counts.resize(channels);
    for (std::size_t i = 0; i < channels; ++i) s.counts[i] = static_cast<std::int32_t>(u32(b, kHeader + 4 * i));

    if (b.size() < end + kTrailer) {
        s.notes.push_back("no trailer after the counts (byte " + std::to_string(end) + "): no calibration");
        return {std::move(s), {}};
    }
    const auto tag = static_cast<std::int16_t>(u16(b, end));
    if (tag != -101 && tag != -102) {
        s.notes.push_back("byte " + std::to_string(end) +
                          ": the trailer does not begin with -101 or -102: no calibration");
        return {std::move(s), {}};
    }
    const double c0 = f32(b, end + 4), c1 = f32(b, end + 8);
    const double c2 = tag == -102 ? f32(b, end + 12) : 0.0;
    if (std::isfinite(c0) && std::isfinite(c1) && std::isfinite(c2) && (c1 != 0 || c2 != 0)) {
        s.calibration = {c0, c1};
        if (c2 != 0) s.calibration.push_back(c2);
    }
    s.title = counted_text(b, end + 320, 63);
    return {std::move(s), {}};
}

} // namespace tarva
