// MCA and PHA as the user meets them: spectrum files built byte by byte
// here (little-endian, independent of the writers), read, saved and read
// back in a scratch directory.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <vector>

#include "command_fixture.h"
#include "commands/command_context.h"
#include "commands/commands.h"
#include "dataset/mca/mca_layout.h"
#include "session/session.h"

namespace tarva {
namespace {

using testing_support::read_file;

void put32(std::string& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<char>(v >> (8 * i)));
}

void put_float(std::string& b, float f) {
    std::uint32_t u;
    std::memcpy(&u, &f, 4);
    put32(b, u);
}

std::string framed(const std::string& payload) {
    std::string b;
    put32(b, static_cast<std::uint32_t>(payload.size()));
    b += payload;
    put32(b, static_cast<std::uint32_t>(payload.size()));
    return b;
}

// A binary spectrum file: counts(i) for channel i (0-based), type, params.
std::string spectrum_bytes(const std::function<int(int)>& counts, const std::string& type,
                           const std::array<float, 10>& params, const std::string& caption = "Test") {
    std::string p;
    for (int i = 0; i < 1024; ++i) put32(p, static_cast<std::uint32_t>(counts(i)));
    p += type;
    p += caption + std::string(100 - caption.size(), ' ');
    for (float v : params) put_float(p, v);
    return framed(p);
}

void write(const std::string& name, const std::string& bytes) { std::ofstream(name, std::ios::binary) << bytes; }

constexpr std::array<float, 10> kCalibrated{1024, 1, 2.5f, 10, 1, 4.0026f, 2, 170, 0, 0};

struct SpectrumCommands : testing_support::ScratchCommandFixture {
    // "WORD/Q ARGUMENT" as typed (no slash for a blank qualifier).
    static std::string line(const std::string& word, char q, const std::string& arg) {
        return word + (q == ' ' ? "" : std::string("/") + q) + (arg.empty() ? "" : " " + arg);
    }
    std::string mca(char q, const std::string& arg, const std::string& answers = "") {
        return run(cmd_mca, line("MCA", q, arg), answers);
    }
    std::string pha(char q, const std::string& arg) { return run(cmd_pha, line("PHA", q, arg)); }
    std::string data(char q, const std::string& arg) { return run(cmd_data, line("DATA", q, arg)); }
    // The readers report a failure through the numeric argument.
    bool failed() const { return last.number == 1.0; }
};

TEST_F(SpectrumCommands, CalibratedSpectrumGivesEnergiesFromTheOffset) {
    write("cal.mca", spectrum_bytes([](int i) { return 100 + i; }, "RBS ", kCalibrated));
    const std::string out = mca(' ', "cal");
    EXPECT_FALSE(failed());
    EXPECT_EQ(s.data.count, 1024);
    EXPECT_FLOAT_EQ(s.data.X[0], 10.0f);
    EXPECT_FLOAT_EQ(s.data.X[1023], 10.0f + 2.5f * 1023);
    EXPECT_EQ(s.data.x_label.trimmed(), "Energy (keV)");
    // Divided by 2.5 keV per channel; the first channel zeroed (fix-up).
    EXPECT_EQ(s.data.y_label.trimmed(), "Counts/keV");
    EXPECT_FLOAT_EQ(s.data.Y[5], 105.0f / 2.5f);
    EXPECT_FLOAT_EQ(s.data.SIGMA[5], std::sqrt(105.0f) / 2.5f);
    EXPECT_EQ(s.data.Y[0], 0.0f);
    EXPECT_EQ(s.data.SIGMA[0], 1.0f);
    EXPECT_EQ(s.data.spectrum[5], 105);
    EXPECT_EQ(s.data.spectrum_kind, 'R');
    EXPECT_EQ(s.data.spectrum_loaded, 1);
    EXPECT_EQ(s.fit.function, 12);
    EXPECT_EQ(s.data.file_name.trimmed(), "cal.mca");
    EXPECT_NE(out.find(" 1024 points in data file.\n Statistical errors selected.\n Y-axis normalized.\n"
                       " Fix-up mode: first channel zeroed.\n RBS spectrum.\n"),
              std::string::npos)
        << out;
    // W: channel numbers, then the same final shift by one channel width.
    mca('W', "cal.mca");
    EXPECT_FLOAT_EQ(s.data.X[0], 1.0f - 2.5f);
    EXPECT_EQ(s.data.x_label.trimmed(), "Channel");
}

TEST_F(SpectrumCommands, NormalisationBySolidAngleAndCharge) {
    write("n.mca", spectrum_bytes([](int) { return 100; }, "XRAY", {1024, 0, 1, 0, 1, 4.0026f, 2, 170, 5, 10}));
    mca(' ', "n.mca");
    EXPECT_FLOAT_EQ(s.data.Y[3], 2.0f);
    EXPECT_EQ(s.data.y_label.trimmed(), "Counts/msr/^2l^cC");
    EXPECT_EQ(s.data.x_label.trimmed(), "Channel");
    EXPECT_EQ(s.data.spectrum_kind, 'X');
    // Normalisation off: raw counts; log first: log10 of the counts.
    mca('D', "n");
    mca('E', "p");
    mca(' ', "n.mca");
    EXPECT_FLOAT_EQ(s.data.Y[3], 2.0f);
    EXPECT_EQ(s.data.SIGMA[3], 0.0f);
    EXPECT_EQ(s.data.y_label.trimmed(), "Log^d10^r(Counts)");
    EXPECT_EQ(s.data.log_y, 1);
    EXPECT_EQ(s.data.log_scale_y, 1);
}

TEST_F(SpectrumCommands, StickyParametersKeepTheFirstCalibration) {
    write("a.mca", spectrum_bytes([](int) { return 1; }, "RBS ", kCalibrated));
    write("b.mca", spectrum_bytes([](int) { return 1; }, "RBS ", {1024, 0, 1, 0, 1, 1, 3, 150, 0, 0}));
    mca(' ', "a.mca");
    EXPECT_EQ(mca('E', "s"), "  Experimental parameters will stick to all future files.\n");
    const std::string out = mca(' ', "b.mca");
    EXPECT_EQ(out.rfind("  Experimental parameters in file not loaded.\n", 0), 0u) << out;
    EXPECT_FLOAT_EQ(s.data.experiment.energy_per_channel(), 2.5f);
    EXPECT_FLOAT_EQ(s.data.experiment.beam_energy(), 2.0f);
    EXPECT_FLOAT_EQ(s.data.X[0], 10.0f);
}

TEST_F(SpectrumCommands, SavingOrdinaryDataRoundsAndCalibratesFromTheFirstTwoPoints) {
    s.data.count = 3;
    s.data.X = {5, 7, 9};
    s.data.Y = {1.4f, 2.6f, -3.5f};
    s.data.caption = "Cap";
    const std::string out = mca('S', "out");
    EXPECT_EQ(out, " Saving as binary file out.mca\n The present data does not appear to be a spectrum, the\n"
                   " y-axis will be rounded to integers in the saved file.\a\n");
    auto record = decode_spectrum(read_file("out.mca"));
    ASSERT_TRUE(record);
    EXPECT_EQ(record->counts[0], 1);
    EXPECT_EQ(record->counts[1], 3);
    EXPECT_EQ(record->counts[2], -3); // rounded: add 0.5, truncate toward zero
    EXPECT_EQ(record->counts[3], 0);
    EXPECT_EQ(record->parameters[0], 3.0f);
    EXPECT_EQ(record->parameters[1], 1.0f);
    EXPECT_EQ(record->parameters[2], 2.0f);
    EXPECT_EQ(record->parameters[3], 5.0f);
    EXPECT_EQ(record->type, "RBS ");
    EXPECT_EQ(record->caption.trimmed(), "Cap");
    // Read back, the energies are those of the data.
    mca('D', "f");
    mca(' ', "out.mca");
    EXPECT_FLOAT_EQ(s.data.X[0], 5.0f);
    EXPECT_FLOAT_EQ(s.data.X[2], 9.0f);
    EXPECT_FLOAT_EQ(s.data.Y[1], 3.0f / 2.0f); // per keV
}

TEST_F(SpectrumCommands, AsciiFormReadsBackWithX) {
    write("a.mca", spectrum_bytes([](int i) { return i; }, "LUMI", kCalibrated, "Glow"));
    mca(' ', "a.mca");
    s.data.count = 4;
    EXPECT_EQ(mca('A', "copy.dat"), " Saving as ascii file copy.txt\n");
    EXPECT_EQ(read_file("copy.txt"),
              " Glow\n     4.0000     1.0000     2.5000    10.0000     1.0000     4.0026     2.0000"
              "   170.0000     0.0000     0.0000 \n      0\n      1\n      2\n      3\n");
    mca(' ', "a.mca");
    mca('X', "copy");
    EXPECT_FALSE(failed());
    EXPECT_EQ(s.data.count, 4);
    EXPECT_EQ(s.data.spectrum_kind, 'L');
    EXPECT_EQ(s.data.x_label.trimmed(), "Wavelength (nm)");
    EXPECT_EQ(s.data.spectrum[3], 3);
}

TEST_F(SpectrumCommands, UnreadableFilesLeaveTheDataSet) {
    s.data.count = 2;
    s.data.Y[0] = 42;
    EXPECT_EQ(mca(' ', "none"), " Unable to open none.mca for input.\n\n");
    EXPECT_TRUE(failed());
    // Length words that do not agree: not a record.
    std::string bad = spectrum_bytes([](int) { return 7; }, "RBS ", kCalibrated);
    bad[bad.size() - 1] = 1;
    write("bad.mca", bad);
    EXPECT_EQ(mca(' ', "bad.mca"), " Error reading spectrum, trying again using old format.\n  Unable to read data.\n");
    EXPECT_TRUE(failed());
    EXPECT_EQ(s.data.count, 2);
    EXPECT_EQ(s.data.Y[0], 42.0f);
    // An old 16-bit spectrum reaches the buffer only; MCA/O makes it the data.
    std::string old;
    for (int i = 0; i < 1024; ++i) {
        old.push_back(static_cast<char>(i == 1 ? 0xFF : 9));
        old.push_back(static_cast<char>(i == 1 ? 0xFF : 0));
    }
    write("old.mca", framed(old));
    mca(' ', "old.mca");
    EXPECT_TRUE(failed());
    EXPECT_EQ(s.data.Y[0], 42.0f);
    EXPECT_EQ(s.data.spectrum[1], -1);
    EXPECT_EQ(mca('O', ""), " Data reset to MCA raw data.\n");
    EXPECT_EQ(s.data.Y[0], 9.0f);
    EXPECT_EQ(s.data.SIGMA[0], 3.0f);
    EXPECT_EQ(s.data.count, 2);
}

TEST_F(SpectrumCommands, DataOfASpectrumNameReadsItWhateverTheQualifier) {
    const std::string bytes = spectrum_bytes([](int) { return 4; }, "RBS ", kCalibrated);
    write("r.mca", bytes);
    data(' ', "r.mca");
    EXPECT_FALSE(failed());
    EXPECT_EQ(s.data.count, 1024);
    EXPECT_EQ(s.data.spectrum_loaded, 1);
    // DATA/S and DATA/A must not turn into MCA/S or MCA/A over the file.
    s.data.Y[3] = 999;
    data('S', "r.mca");
    data('A', "r.mca");
    EXPECT_EQ(read_file("r.mca"), bytes);
    EXPECT_EQ(s.data.Y[3], 4.0f / 2.5f);
}

// One line of a column text spectrum: U is 2X,I4,2X,6(F8.0,1X), V is
// 1X,I4,2X,5(F10.0,3X).
std::string column_line(char layout, int channel, std::vector<int> counts) {
    std::string ch = std::to_string(channel);
    std::string line = (layout == 'U' ? "  " : " ") + std::string(4 - ch.size(), ' ') + ch + "  ";
    const std::size_t width = layout == 'U' ? 8 : 10;
    for (int c : counts) {
        const std::string v = std::to_string(c) + ".";
        line += std::string(width - v.size(), ' ') + v + (layout == 'U' ? " " : "   ");
    }
    return line + "\n";
}

TEST_F(SpectrumCommands, ColumnTextSpectra) {
    write("u.txt", "head\n" + column_line('U', 10, {1, 2, 3, 4, 5, 6}) + "  bad line\n\n" +
                       column_line('U', 16, {7, 8, 9, 10, 11, 12}));
    const std::string out = mca('U', "u.txt");
    EXPECT_EQ(out, " Reading data from u.txt\n\n ixs:   10 Offset on x-axis:   9.0000    \n ^j^j^ju: head\n"
                   "   12 points in data file.\n");
    EXPECT_EQ(s.data.count, 12);
    EXPECT_FLOAT_EQ(s.data.X[0], 10.0f);
    EXPECT_FLOAT_EQ(s.data.Y[11], 12.0f);
    EXPECT_EQ(s.data.experiment.first_channel(), 1.0f);
    // Compressed: one point per line.
    write("v.txt", "head\n" + column_line('V', 1, {3, 4, 5, 6, 7}) + column_line('V', 6, {1, 1, 1, 1, 1}));
    mca('E', "c");
    mca('V', "v.txt");
    EXPECT_EQ(s.data.count, 2);
    EXPECT_FLOAT_EQ(s.data.Y[0], 25.0f);
    EXPECT_FLOAT_EQ(s.data.SIGMA[0], 5.0f);
    EXPECT_EQ(s.data.spectrum[0], 25);
    EXPECT_FLOAT_EQ(s.data.Y[1], 5.0f);
    // More than 1024 counts: truncated, what was read is kept.
    mca('D', "c");
    std::string many = "head\n";
    for (int line = 0; line < 200; ++line) many += column_line('U', 1, {1, 1, 1, 1, 1, 1});
    write("m.txt", many);
    EXPECT_NE(mca('U', "m.txt").find("More than 1024 points in data file, truncating to 1024\n"), std::string::npos);
    EXPECT_EQ(s.data.count, 1024);
}

TEST_F(SpectrumCommands, ParameterDialogueSavesAndReadsBack) {
    const std::string answers = "3\n\n5\n-50\nhe\n0\n1.5\n\n\n\nx\n";
    const std::string out = mca('R', "beam", answers);
    EXPECT_NE(out.find(" Experimental parameters saved in file beam.EXP\n"), std::string::npos) << out;
    ExperimentalParameters& p = s.data.experiment;
    EXPECT_EQ(p.first_channel(), 3.0f);
    EXPECT_EQ(p.energy_per_channel(), 1.0f);
    EXPECT_EQ(p.energy_offset(), 5.0f);
    EXPECT_EQ(p.normalisation(), 2.0f); // -100 / -50
    EXPECT_EQ(p.beam_energy(), 1.5f);   // 0 is asked again
    EXPECT_EQ(s.data.spectrum_kind, 'X');
    EXPECT_EQ(read_file("beam.EXP"),
              "   1024.0    \n   3.0000    \n   1.0000    \n   5.0000    \n   2.0000    \n   4.0026    \n"
              "   1.5000    \n   170.00    \n   0.0000    \n   0.0000    \n");
    p = ExperimentalParameters{};
    EXPECT_EQ(mca('I', "beam"), " Experimental parameters read from beam.EXP\n");
    EXPECT_EQ(p.first_channel(), 3.0f);
    EXPECT_EQ(p.beam_energy(), 1.5f);
}

// An acquisition file: record r (1-based), channel c (1-based) -> count.
void write_acquisition(const std::string& name, int records, const std::function<int(int, int)>& count) {
    std::string b;
    for (int r = 1; r <= records; ++r)
        for (int c = 1; c <= 8192; ++c) put32(b, static_cast<std::uint32_t>(count(r, c)));
    write(name, b);
}

TEST_F(SpectrumCommands, PhaXHalfStartsAtTheFirstCount) {
    write_acquisition("run1.img", 2, [](int r, int c) { return r == 2 && c > 100 && c <= 300 ? c : 0; });
    const std::string out = pha(' ', "x1 run1");
    EXPECT_FALSE(failed());
    EXPECT_NE(out.find("\n\n Reading data from run1.img\n\n"), std::string::npos) << out;
    EXPECT_EQ(s.data.count, 200);
    EXPECT_EQ(s.data.X[0], 100.0f);
    EXPECT_EQ(s.data.Y[0], 101.0f);
    EXPECT_EQ(s.data.X[199], 299.0f);
    EXPECT_EQ(s.data.X[200], 0.0f);
    EXPECT_FLOAT_EQ(s.data.SIGMA[0], std::sqrt(101.0f));
    EXPECT_EQ(s.fit.function, 12);
    EXPECT_EQ(s.fit.nparams, 1);
    EXPECT_EQ(s.data.spectrum[0], 101);
}

TEST_F(SpectrumCommands, PhaBinsChannelPairsWithoutOverflow) {
    write_acquisition("full.img", 1, [](int, int c) { return c % 3; });
    const std::string out = pha('2', "e1 full");
    EXPECT_EQ(out.find("Overflow"), std::string::npos) << out;
    EXPECT_NE(out.find("  Bining raw data by 2 channels into 1\n"), std::string::npos);
    EXPECT_EQ(s.data.count, 1024);
    EXPECT_EQ(s.data.X[0], 0.0f);
    EXPECT_EQ(s.data.Y[0], 3.0f); // channels 1 and 2
    EXPECT_EQ(s.data.X[1], 2.0f);
    EXPECT_EQ(s.data.Y[1], 1.0f); // channels 3 and 4
}

TEST_F(SpectrumCommands, PhaEnergyRangeEndsOneChannelPastTheLastPoint) {
    // Channel c0 + 1024 k belongs to the range: counts there overflow.
    write_acquisition("edge.img", 1, [](int, int c) { return c == 1 || c == 1025 || c == 2049 ? 7 : 0; });
    std::string out = pha(' ', "e1 edge");
    EXPECT_NE(out.find(" Overflow: You may need to bin this spectrum\n"), std::string::npos) << out;
    EXPECT_EQ(s.data.count, 1024);
    EXPECT_EQ(s.data.Y[0], 7.0f);
    out = pha('2', "e1 edge");
    EXPECT_NE(out.find(" Overflow: You may need to bin this spectrum\n"), std::string::npos) << out;
    EXPECT_EQ(s.data.count, 1024);
    EXPECT_EQ(s.data.Y[512], 7.0f); // channels 1025 and 1026
    // Nothing past that channel counts: /3 reaches 3073 only.
    out = pha('3', "e1 edge");
    EXPECT_EQ(out.find("Overflow"), std::string::npos) << out;
    EXPECT_EQ(s.data.count, 683); // up to the point holding channel 2049
}

TEST_F(SpectrumCommands, PhaOnAShortFileChangesNothing) {
    write("short.img", std::string(1000, '\1'));
    s.data.count = 5;
    s.data.file_name = "keep.fit";
    const std::string out = pha(' ', "y2 short");
    EXPECT_TRUE(failed());
    EXPECT_EQ(s.data.count, 5);
    EXPECT_EQ(s.data.file_name.trimmed(), "keep.fit");
    EXPECT_NE(out.find("?qvpha"), std::string::npos);
    EXPECT_NE(pha(' ', "region6").find("  No station number -  reading single energy spectrum\n"), std::string::npos);
    EXPECT_TRUE(failed());
}

} // namespace
} // namespace tarva
