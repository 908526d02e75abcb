// Sample files of the instrument layouts IMPORT reads, written byte by byte
// from the layouts' descriptions (independently of the readers), for the
// tests and the benchmarks.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace tarva::testing_support::samples {

inline void put(std::string& b, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b.push_back(static_cast<char>(v >> (8 * i)));
}
inline void put_float(std::string& b, float f) {
    std::uint32_t u;
    std::memcpy(&u, &f, 4);
    put(b, u, 4);
}
// PDP-11 single precision: the IEEE bits of 4 f with their 16-bit halves swapped.
inline void put_pdp11(std::string& b, float f) {
    std::uint32_t u;
    f *= 4;
    std::memcpy(&u, &f, 4);
    put(b, (u >> 16) | (u << 16), 4);
}

// $SPEC_ID/$DATA as ORTEC writes it: CR LF, one right-justified count a line,
// the calibration of three coefficients in eV.
inline std::string spe_ortec(const std::vector<double>& counts) {
    std::string t = "$SPEC_ID:\r\nRiver sediment 4\r\n$SPEC_REM:\r\nDET# 1\r\n$MEAS_TIM:\r\n1200 1250\r\n$DATA:\r\n0 " +
                    std::to_string(counts.size() - 1) + "\r\n";
    for (double c : counts) t += "       " + std::to_string(static_cast<long>(c)) + "  \r\n";
    return t + "$ROI:\r\n0\r\n$MCA_CAL:\r\n3\r\n1.0E+002 2.5E+002 1.0E-003 eV\r\n";
}
// The portable-MCA form: first and last on the $DATA: line, ten counts a
// line with decimal points, $ENER_FIT only, no title or times.
inline std::string spe_portable(const std::vector<double>& counts, long first) {
    std::string t = "$MCA_166_ID:\nSN# 5\n$DATA: " + std::to_string(first) + " " +
                    std::to_string(first + static_cast<long>(counts.size()) - 1) + "\n";
    for (std::size_t i = 0; i < counts.size(); ++i)
        t += std::to_string(static_cast<long>(counts[i])) + "." + (i % 10 == 9 ? "\n" : " ");
    return t + "\n$ENER_FIT:\n0.25 0.125\n";
}
inline std::string pmca(const std::vector<double>& counts) {
    std::string t = "<<PMCA SPECTRUM>>\nTAG \xE2\x80\x93 live_data\nDESCRIPTION \xE2\x80\x93 Brass foil\n"
                    "LIVE_TIME - 99.750000\nREAL_TIME - 100.000000\n<<CALIBRATION>>\nLABEL - Energy (eV)\n"
                    "100 1500\n300 4500\n500 7500\n<<DATA>>\n";
    for (double c : counts) t += std::to_string(static_cast<long>(c)) + "\n";
    return t + "<<END>>\n<<DP5 CONFIGURATION>>\nRESC=Y;\n12 34\n<<DP5 CONFIGURATION END>>\n";
}
inline std::string chn(const std::vector<double>& counts, long first, bool trailer) {
    std::string b;
    put(b, 0xFFFF, 2);
    put(b, 1, 2);
    put(b, 1, 2);
    b += "07";
    put(b, 6000 * 50, 4);
    put(b, 5900 * 50, 4);
    b += "14MAR241"
         "1015";
    put(b, static_cast<std::uint64_t>(first), 2);
    put(b, counts.size(), 2);
    for (double c : counts) put(b, static_cast<std::uint32_t>(c), 4);
    if (!trailer) return b;
    put(b, static_cast<std::uint16_t>(-102), 2);
    put(b, 0, 2);
    for (float f : {-1.5f, 0.5f, 2e-5f, 1.0f, 0.0f, 0.0f}) put_float(b, f);
    b += std::string(228, '\0') + '\4' + std::string("HPGe").append(59, '\0') + '\6' +
         std::string("Ore 17").append(57, '\0') + std::string(128, '\0');
    return b;
}
// A Canberra CNF file as xylib's reader takes it: 48-byte section records
// from byte 112 (acquisition 0, sample 1, channels 5), the acquisition
// section with "PHA", the channel count in 256s, VMS times (100 ns ticks,
// live and real stored as complements) and the PDP-11 calibration.
inline std::string cnf(const std::vector<double>& counts) {
    const std::size_t acq = 0x400, sample = 0x800, data = 0xA00;
    std::string b(data + 512 + 4 * counts.size(), '\0');
    std::size_t at = 112;
    for (auto [kind, offset] : {std::pair{0, acq}, {1, sample}, {5, data}}) {
        b[at] = static_cast<char>(kind), b[at + 1] = 0x20, b[at + 2] = 0x01;
        std::string o;
        put(o, offset, 4);
        b.replace(at + 10, 4, o);
        at += 48;
    }
    b[at + 1] = b[at + 2] = 0x55; // ends the records
    const auto place = [&](std::size_t where, const std::string& bytes) { b.replace(where, bytes.size(), bytes); };
    b[acq + 1] = b[sample + 1] = b[data + 1] = 0x20;
    b[sample] = 1, b[data] = 5;
    std::string w;
    put(w, 100, 2);
    put(w, 200, 2);
    place(acq + 34, w);
    place(acq + 48 + 128, "PHA");
    w.clear();
    put(w, counts.size() / 256, 2);
    place(acq + 48 + 128 + 10, w);
    w.clear();
    put(w, static_cast<std::uint64_t>((3506716800.0 + 1e9) * 1e7), 8);
    put(w, ~static_cast<std::uint64_t>(1010.0 * 1e7), 8);
    put(w, ~static_cast<std::uint64_t>(1000.0 * 1e7), 8);
    place(acq + 48 + 200 + 1, w);
    w.clear();
    for (float f : {0.5f, 0.25f, 0.0f}) put_pdp11(w, f);
    place(acq + 48 + 32 + 100 + 36, w);
    place(sample + 0x30, std::string("Soil 9").append(26, ' '));
    w.clear();
    for (double c : counts) put(w, static_cast<std::uint32_t>(c), 4);
    place(data + 512, w);
    return b;
}

// A Canberra AccuSpec MCA file: two 512-byte blocks and 2048 32-bit
// counts; words 0, 34, 36 and 38 hold 0, 4, 2048 and 1, word 24 the offset
// of the counts, bytes 108 to 119 the PDP-11 energy offset, slope and
// quadratic term.
inline std::string canberra_mca(const std::vector<double>& counts, float offset, float slope) {
    std::string b(2 * 512, '\0');
    const auto word = [&](std::size_t at, std::uint16_t v) {
        b[at] = static_cast<char>(v & 0xFF);
        b[at + 1] = static_cast<char>(v >> 8);
    };
    word(34, 4);
    word(36, 2048);
    word(38, 1);
    word(24, 1024);
    std::string cal;
    for (float f : {offset, slope, 0.0f}) put_pdp11(cal, f);
    b.replace(108, cal.size(), cal);
    for (std::size_t i = 0; i < 2048; ++i) put(b, static_cast<std::uint32_t>(i < counts.size() ? counts[i] : 0), 4);
    return b;
}

} // namespace tarva::testing_support::samples
