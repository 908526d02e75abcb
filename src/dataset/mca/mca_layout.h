// The byte layouts of spectrum files, apart from any command: the binary
// spectrum record (and its old 16-bit form), the ASCII spectrum text and a
// record of an acquisition file. Every decoder takes untrusted bytes and
// checks each length against what it was given; none casts structures.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "dataset/data_set.h"

namespace tarva {

// Payload of a binary spectrum record: counts, type word, caption, parameters.
inline constexpr std::size_t kSpectrumPayload = 4 * kMaxPoints + 4 + 100 + 40;
// Payload of an old spectrum record: 16-bit counts.
inline constexpr std::size_t kOldSpectrumPayload = 2 * kMaxPoints;
// One record of an acquisition file: 8192 signed 32-bit counts.
inline constexpr int kAcquisitionChannels = 8192;
inline constexpr std::size_t kAcquisitionRecord = 4 * kAcquisitionChannels;

struct SpectrumRecord {
    SpectrumBuffer counts{};
    std::string type = "RBS "; // "RBS ", "XRAY" or "LUMI" (4 characters)
    FixedText<100> caption;
    std::array<float, 10> parameters{};
};

// The first sequential record of a file: its payload when the length words
// before and after it agree and lie within the file; nullopt otherwise.
std::optional<std::string_view> first_record(std::string_view file);

// A binary spectrum from the whole file's bytes; nullopt when the first
// record is missing or shorter than the layout.
std::optional<SpectrumRecord> decode_spectrum(std::string_view file);
// The 1024 counts of an old 16-bit spectrum file.
std::optional<SpectrumBuffer> decode_old_spectrum(std::string_view file);
// The whole file of a binary spectrum: one framed record.
std::string encode_spectrum(const SpectrumRecord& record);

// The ASCII form: caption, the ten parameters in F10.4, one count per line
// for the first `count` channels.
std::string ascii_spectrum_text(const SpectrumRecord& record, int count);
// Reads that form back; the point count is the number of count lines.
// nullopt when a line does not read or there are more than 1024 counts.
struct AsciiSpectrum {
    SpectrumRecord record;
    int count = 0;
};
std::optional<AsciiSpectrum> decode_ascii_spectrum(std::string_view text);

// One acquisition record from exactly kAcquisitionRecord bytes.
using AcquisitionRecord = std::array<std::int32_t, kAcquisitionChannels>;
AcquisitionRecord decode_acquisition_record(std::string_view bytes);

// The spectrum kind for a type word, and the type word for a kind.
char kind_of_type(std::string_view type);
std::string type_of_kind(char kind);

// A count from a stored value: rounded to the nearest integer, clamped.
std::int32_t count_of(double value);

} // namespace tarva
