// IMPORT and its readers: sample files of every layout written here from
// the layouts' descriptions (independently of the readers), read back, cut
// into windows and summed by channels, and the data set they leave.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <numeric>

#include "command_fixture.h"
#include "commands/commands.h"
#include "dataset/import/instrument_import.h"
#include "dataset/import/xylib_reader.h"
#include "instrument_samples.h"

namespace tarva {
namespace {

using namespace testing_support::samples;
using ::testing::HasSubstr;
using ::testing::Not;
using testing_support::write_file;

// The tests find the reader program of this build (the program itself
// looks beside its own binary).
[[maybe_unused]] const int kReaderProgram = ::setenv("TARVA_XYLIB_READER", TARVA_XYLIB_READER_BINARY, 0);

std::vector<double> sample_counts(int n) {
    std::vector<double> c(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        c[static_cast<std::size_t>(i)] =
            (i * 37) % 11 + std::round(900 * std::exp(-0.5 * std::pow((i - n / 3) / 6.0, 2)));
    return c;
}

ChannelWindow window(std::optional<long> first, std::optional<long> last = std::nullopt, int group = 0) {
    ChannelWindow w;
    w.first = first;
    w.last = last;
    w.group = group;
    return w;
}

ColumnChoice columns(std::string x, std::string y = "", std::string sigma = "") {
    ColumnChoice c;
    c.x = std::move(x);
    c.y = std::move(y);
    c.sigma = std::move(sigma);
    return c;
}

bool have_xylib_reader() {
    if (!xylib_reader_program().empty()) return true;
    EXPECT_FALSE(testing_support::in_ci()) << "tarva-xylib is not built";
    return false;
}

struct ImportFiles : testing_support::ScratchCommandFixture {
    ReadOutcome read(const std::string& name, const std::string& bytes) {
        write_file(name, bytes);
        return read_instrument_file(name);
    }
};

TEST_F(ImportFiles, EveryLayoutGivesBackCountsCalibrationAndTimes) {
    const std::vector<double> c = sample_counts(2048);
    struct Case {
        std::string name, bytes;
        long first;
        std::vector<double> calibration; // keV
        std::optional<double> live;
        std::string title;
    };
    std::vector<Case> cases = {
        {"ortec.spe", spe_ortec(c), 0, {0.1, 0.25, 1e-6}, 1200, "River sediment 4"},
        {"mca166.spe", spe_portable(c, 7), 7, {0.25, 0.125}, std::nullopt, ""},
        {"sdd.mca", pmca(c), 0, {0.0, 0.015}, 99.75, "Brass foil"},
        {"gamma.chn", chn(c, 100, true), 100, {-1.5, 0.5, 2e-5}, 5900, "Ore 17"},
        {"old.chn", chn(c, 0, false), 0, {}, 5900, ""},
    };
    std::string table = "\xEF\xBB\xBF# counts\r\n! per\r\n; channel\r\n% only\r\n";
    for (double v : c) table += std::to_string(static_cast<long>(v)) + ".0 \r\n";
    cases.push_back({"counts.txt", table, 0, {}, std::nullopt, ""});
    if (have_xylib_reader()) {
        cases.push_back({"soil.dat", cnf(c), 1, {0.5, 0.25}, 1000, "Soil 9"});
        cases.push_back({"acc.mca", canberra_mca(c, 1.5f, 0.75f), 1, {1.5, 0.75}, std::nullopt, ""});
    }
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        const ReadOutcome r = read(k.name, k.bytes);
        ASSERT_TRUE(r) << r.error;
        const InstrumentSpectrum& s = *r.value;
        if (s.is_table()) {
            ASSERT_EQ(s.table.columns.size(), 1u);
            EXPECT_EQ(s.table.columns[0], c);
            EXPECT_THAT(s.notes, ::testing::Contains("4 comment lines skipped"));
            continue;
        }
        EXPECT_EQ(s.counts, c);
        EXPECT_EQ(s.first_channel, k.first);
        ASSERT_EQ(s.calibration.size(), k.calibration.size());
        for (std::size_t i = 0; i < k.calibration.size(); ++i)
            EXPECT_NEAR(s.calibration[i], k.calibration[i], 1e-6 * std::abs(k.calibration[i]) + 1e-12) << i;
        EXPECT_EQ(s.live_time.has_value(), k.live.has_value());
        if (k.live) {
            EXPECT_NEAR(*s.live_time, *k.live, 1e-6);
        }
        EXPECT_EQ(s.title, k.title);
    }
}

TEST_F(ImportFiles, WindowsAndGroupsSumTheChannelsCountedByHand) {
    InstrumentSpectrum s;
    s.layout = "test";
    s.counts.resize(4096);
    std::iota(s.counts.begin(), s.counts.end(), 0.0);
    s.calibration = {0.5, 0.01};
    // The whole spectrum: the smallest group that fits, 4 channels.
    auto all = import_spectrum(s, {}, {}, "dir/x.spe");
    ASSERT_TRUE(all) << all.error;
    const ImportedData& a = *all.value;
    ASSERT_EQ(a.x.size(), 1024u);
    EXPECT_EQ(a.group, 4);
    EXPECT_EQ(a.x[5], 20.0f);
    EXPECT_EQ(a.y[5], 20.0f + 21 + 22 + 23);
    EXPECT_FLOAT_EQ(a.sigma[5], std::sqrt(86.0f));
    EXPECT_FLOAT_EQ(a.sigma[0], std::sqrt(6.0f));
    EXPECT_EQ(a.counts[1023], 4092 + 4093 + 4094 + 4095);
    // The energy of a point is that of the middle of its group.
    EXPECT_DOUBLE_EQ(*a.per_channel, 0.01);
    EXPECT_NEAR(*a.offset, 0.5 + 0.015, 1e-12);
    EXPECT_EQ(a.caption, "x.spe");
    EXPECT_THAT(import_report(a, "x.spe"),
                ::testing::Contains("4096 channels, channels 0-4095 read, 4 channels per point: 1024 points"));
    // A first channel alone: 1024 channels from there.
    auto from = import_spectrum(s, window(1200), {}, "x");
    ASSERT_TRUE(from);
    EXPECT_EQ(from.value->x.front(), 1200.0f);
    EXPECT_EQ(from.value->y.back(), 2223.0f);
    EXPECT_NEAR(*from.value->offset, 0.5, 1e-12);
    // Three to a point over channels 10-20: three points, 19 and 20 left out.
    auto grouped = import_spectrum(s, window(10, 20, 3), {}, "x");
    ASSERT_TRUE(grouped);
    EXPECT_EQ(grouped.value->y, (std::vector<float>{33, 42, 51}));
    EXPECT_EQ(grouped.value->last_read, 18);
    EXPECT_EQ(grouped.value->left_out, 2);
    // One channel holding 0: SIGMA 1.
    auto zero = import_spectrum(s, window(0, 0), {}, "x");
    ASSERT_TRUE(zero);
    EXPECT_EQ(zero.value->sigma, std::vector<float>{1.0f});
    // Windows that cannot be read, refused with the numbers.
    EXPECT_THAT(import_spectrum(s, window(0, 4095), {}, "x").error,
                HasSubstr("channels 0-4095 are 4096 channels, 4096 points at 1 per point: more than 1024"));
    EXPECT_THAT(import_spectrum(s, window(0, 4095), {}, "x").error, HasSubstr("4 per point"));
    EXPECT_THAT(import_spectrum(s, window(5000), {}, "x").error,
                HasSubstr("channel 5000 lies outside the file's channels 0-4095"));
    EXPECT_THAT(import_spectrum(s, window(30, 20), {}, "x").error, HasSubstr("comes before the first"));
    EXPECT_THAT(import_spectrum(s, window(std::nullopt, std::nullopt, 2), {}, "x").error,
                HasSubstr("2048 points at 2 per point"));
    // A quadratic calibration: the line meets the energies of the window's ends.
    s.calibration = {0.5, 0.01, 1e-6};
    auto quad = import_spectrum(s, window(100, 1123), {}, "x");
    ASSERT_TRUE(quad);
    const auto energy = [](double ch) { return 0.5 + 0.01 * ch + 1e-6 * ch * ch; };
    EXPECT_NEAR(*quad.value->per_channel * 100 + *quad.value->offset, energy(100), 1e-9);
    EXPECT_NEAR(*quad.value->per_channel * 1123 + *quad.value->offset, energy(1123), 1e-9);
}

TEST_F(ImportFiles, TablesKeepTheirXUnlessTheyHoldCountsOnAnEvenAxis) {
    const auto table = [&](const std::string& text, const ColumnChoice& choice = {}, const ChannelWindow& w = {}) {
        write_file("t.csv", text);
        return import_file("t.csv", w, choice);
    };
    // Uneven X, or Y that are no counts: X kept, SIGMA 1 or the third column.
    auto uneven = table("0.5 3\n1.7 4\n2.2 5\n");
    ASSERT_TRUE(uneven) << uneven.error;
    EXPECT_FALSE(uneven.value->spectrum);
    EXPECT_EQ(uneven.value->x, (std::vector<float>{0.5f, 1.7f, 2.2f}));
    EXPECT_EQ(uneven.value->sigma, (std::vector<float>{1, 1, 1}));
    auto errors = table("Wavelength;Signal;Error\n400;0,25;0,5\n401;0,5;0,25\n");
    ASSERT_TRUE(errors) << errors.error;
    EXPECT_EQ(errors.value->y, (std::vector<float>{0.25f, 0.5f}));
    EXPECT_EQ(errors.value->sigma, (std::vector<float>{0.5f, 0.25f}));
    EXPECT_EQ(errors.value->x_label, "Wavelength");
    // Counts on channel numbers: the channels are X.
    auto channels = table("10\t7\n11\t8\n12\t9\n");
    ASSERT_TRUE(channels);
    EXPECT_TRUE(channels.value->spectrum);
    EXPECT_EQ(channels.value->x, (std::vector<float>{10, 11, 12}));
    EXPECT_FALSE(channels.value->per_channel);
    // Counts on an even energy axis: channels from 0, the axis their calibration.
    auto energies = table("Channel,Energy (keV),Counts\n0,1.00,7\n1,1.50,8\n2,2.00,9\n", columns("energy", "3"));
    ASSERT_TRUE(energies) << energies.error;
    EXPECT_EQ(energies.value->x, (std::vector<float>{0, 1, 2}));
    EXPECT_DOUBLE_EQ(*energies.value->per_channel, 0.5);
    EXPECT_DOUBLE_EQ(*energies.value->offset, 1.0);
    auto column = table("Channel,Energy (keV),Counts\n0,1.00,7\n1,1.50,8\n", columns("", "COUNTS"));
    ASSERT_TRUE(column);
    EXPECT_EQ(column.value->y, (std::vector<float>{7, 8}));
    EXPECT_THAT(table("a,b\n1,2\n", columns("c")).error, HasSubstr("no column named c (the columns: 1 a, 2 b)"));
    EXPECT_THAT(table("a,b\n1,2\n", columns("3")).error, HasSubstr("no column 3: the table has 2"));
    // More rows than points: refused without a window, 1024 from a first row.
    std::string long_table;
    for (int i = 0; i < 1500; ++i) long_table += std::to_string(i * i) + " 0.5\n";
    EXPECT_THAT(table(long_table).error, HasSubstr("rows 1-1500 are 1500 points, more than 1024"));
    auto rows = table(long_table, {}, window(101));
    ASSERT_TRUE(rows);
    EXPECT_EQ(rows.value->x.front(), 10000.0f);
    EXPECT_EQ(rows.value->x.size(), 1024u);
    EXPECT_THAT(table(long_table, {}, window(std::nullopt, std::nullopt, 2)).error, HasSubstr("IMPORT/C sums counts"));
}

TEST_F(ImportFiles, CorruptOrUnknownFilesNameTheLineOrByteAndChangeNothing) {
    std::string short_spe = "$SPEC_ID:\nx\n$DATA:\n0 99\n";
    for (int i = 0; i < 60; ++i) short_spe += "5\n";
    EXPECT_EQ(
        read("short.spe", short_spe).error,
        "$SPEC_ID/$DATA text spectrum: line 64: $DATA: promises 100 counts (channels 0-99), the block ends after 60");
    EXPECT_EQ(read("bad.txt", "1 2\n3 4\n5 x\n7 8\n").error, "plain text table: line 3: \"x\" is not a number");
    EXPECT_EQ(read("ragged.txt", "1 2\n3 4 5\n").error,
              "plain text table: line 2: 3 numbers where the rows above have 2");
    const std::vector<double> c = sample_counts(1024);
    EXPECT_EQ(read("cut.chn", chn(c, 0, true).substr(0, 2000)).error,
              "ORTEC CHN binary spectrum: the file ends at byte 2000: 1024 channels need 4128 bytes");
    std::string noise(3000, '\0');
    for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>((i * 7919) % 251);
    const std::string unknown = read("noise.bin", noise).error;
    EXPECT_THAT(unknown, HasSubstr("no layout IMPORT knows fits it; tried $SPEC_ID/$DATA text spectrum, "
                                   "<<PMCA SPECTRUM>> text spectrum, ORTEC CHN binary spectrum, plain text table;"));
    if (have_xylib_reader()) {
        EXPECT_THAT(unknown, HasSubstr("Canberra CNF"));
    }

    // Through the command: the message, failure for a macro, the data set as it was.
    points({1, 2}, {3, 4});
    s.data.caption = "kept";
    const std::string out = run(cmd_import, "IMPORT short.spe");
    EXPECT_THAT(out, HasSubstr("Unable to import short.spe: $SPEC_ID/$DATA text spectrum: line 64"));
    EXPECT_EQ(last.number, 1.0);
    EXPECT_EQ(xs(), (std::vector<float>{1, 2}));
    EXPECT_EQ(s.data.caption.trimmed(), "kept");
    EXPECT_THAT(run("IMPORT nothere.spe"), HasSubstr("nothere.spe does not exist."));
    EXPECT_THAT(run("IMPORT short.spe 5 x"), HasSubstr("IMPORT: x is no channel number."));
    EXPECT_THAT(run("IMPORT/Q short.spe"), HasSubstr("Unknown option for IMPORT - Q\x07"));
    EXPECT_EQ(last.number, 1.0);
}

TEST_F(ImportFiles, TheDataSetIsLeftAsMcaLeavesASpectrum) {
    const std::vector<double> c = sample_counts(300);
    write_file("g.chn", chn(c, 0, true));
    s.data.spectrum.fill(77);
    const std::string out = run(cmd_import, "IMPORT g.chn 10");
    EXPECT_EQ(last.number, 0.0);
    EXPECT_THAT(out, HasSubstr("300 channels, channels 10-299 read, 1 channel per point: 290 points"));
    EXPECT_THAT(out, HasSubstr("Live time 5900.000 s, real time 6000.000 s"));
    const DataSet& d = s.data;
    ASSERT_EQ(d.count, 290);
    EXPECT_EQ(d.X[0], 10.0f);
    EXPECT_EQ(d.Y[0], static_cast<float>(c[10]));
    EXPECT_FLOAT_EQ(d.SIGMA[0], std::sqrt(static_cast<float>(c[10])));
    EXPECT_EQ(d.spectrum[289], static_cast<std::int32_t>(c[299]));
    EXPECT_EQ(d.spectrum[290], 0);
    EXPECT_EQ(d.spectrum_loaded, 1);
    EXPECT_EQ(d.spectrum_kind, 'X');
    EXPECT_EQ(s.fit.function, 12);
    EXPECT_EQ(d.caption.trimmed(), "g.chn: Ore 17");
    EXPECT_EQ(d.x_label.trimmed(), "Channel");
    EXPECT_EQ(d.file_name.trimmed(), "g.chn");
    ExperimentalParameters p = d.experiment;
    EXPECT_EQ(p.channels(), 290.0f);
    EXPECT_EQ(p.first_channel(), 11.0f);
    // The line through the quadratic calibration at channels 10 and 299.
    const auto energy = [](double ch) { return -1.5 + 0.5 * ch + 2e-5 * ch * ch; };
    EXPECT_NEAR(p.energy_per_channel() * 10 + p.energy_offset(), energy(10), 1e-4);
    EXPECT_NEAR(p.energy_per_channel() * 299 + p.energy_offset(), energy(299), 1e-4);
    // Saved by MCA/S and read by MCA, the points' X are their energies.
    run("MCA/S copy.mca");
    run("MCA copy.mca");
    EXPECT_NEAR(s.data.X[0], energy(10), 1e-3);
    EXPECT_NEAR(s.data.X[200], p.energy_per_channel() * 210 + p.energy_offset(), 1e-3);
    // With sticky parameters they stay.
    run("MCA/E S");
    p.energy_offset() = 42.0f;
    s.data.experiment = p;
    EXPECT_THAT(run("IMPORT g.chn"), HasSubstr(" Experimental parameters in file not loaded."));
    EXPECT_EQ(s.data.experiment.energy_offset(), 42.0f);
}

TEST_F(ImportFiles, TheCommandLineFormsAndDataPointingToImport) {
    const std::vector<double> c = sample_counts(2048);
    write_file("x.spe", spe_ortec(c));
    write_file("t.csv", "Channel,Counts\n0,5\n1,6\n2,7\n3,8\n");
    EXPECT_THAT(run("IMPORT/C x.spe 8 1000"), HasSubstr("channels 1000-2047 read, 8 channels per point: 131 points"));
    EXPECT_THAT(run("IMPORT/C 3", "x.spe\n"), HasSubstr("channels 0-2045 read, 3 channels per point: 682 points"));
    EXPECT_THAT(run("IMPORT/X t.csv 2"), HasSubstr("no column after the X column"));
    EXPECT_THAT(run("IMPORT/Y t.csv counts 1 2"), HasSubstr("channels 1-2 read"));
    EXPECT_EQ(ys(), (std::vector<float>{6, 7}));
    // DATA reads such a file as it always did, then points to IMPORT.
    const std::string data = run(cmd_data, "DATA x.spe");
    EXPECT_THAT(data, HasSubstr("Reading new data from: x.spe"));
    EXPECT_THAT(data, ::testing::EndsWith(" IMPORT x.spe reads this file ($SPEC_ID/$DATA text spectrum).\n"));
    write_file("s.mca", pmca(c));
    EXPECT_THAT(run("DATA s.mca"),
                ::testing::EndsWith(
                    "  Unable to read data.\n IMPORT s.mca reads this file (<<PMCA SPECTRUM>> text spectrum).\n"));
    // A table is never second-guessed, nor a data file whose caption begins
    // like the spectrum layout's block.
    EXPECT_THAT(run("DATA t.csv"), Not(HasSubstr("IMPORT")));
    write_file("dollar.fit", "$DATA: beam on\nX\nY\n 5 1\n 1.\n 1\n 0\n 1 2 3\n");
    const std::string dollar = run("DATA dollar.fit");
    EXPECT_THAT(dollar, HasSubstr("1 points in data file."));
    EXPECT_THAT(dollar, Not(HasSubstr("IMPORT")));
}

TEST_F(ImportFiles, TheXylibReaderRunsContainedInItsOwnProcess) {
    XylibReply r;
    r.kind = XylibReply::Kind::data;
    r.format = "x";
    r.description = "tab\there, line\nend \\";
    r.meta = {{"live time (s)", "9.5"}};
    r.column_names = {"a", ""};
    r.columns = {{1.5, -0.0, 1e300}, {2, 3, 4}};
    r.notes = {"xylib: Warning."};
    auto back = decode_xylib_reply(encode_xylib_reply(r));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->description, r.description);
    EXPECT_EQ(back->columns, r.columns);
    EXPECT_EQ(back->meta, r.meta);
    EXPECT_EQ(back->notes, r.notes);
    // Layouts other than Canberra's are tables: a scan on uneven angles keeps its X.
    r.format = "uxd";
    r.columns = {{10.0, 10.5, 11.5}, {7, 8, 9}};
    auto scan = import_spectrum(*spectrum_of_reply(r).value, {}, {}, "scan.uxd");
    ASSERT_TRUE(scan) << scan.error;
    EXPECT_FALSE(scan.value->spectrum);
    EXPECT_EQ(scan.value->x, (std::vector<float>{10.0f, 10.5f, 11.5f}));
    EXPECT_EQ(scan.value->x_label, "a");
    std::string cut = encode_xylib_reply(r);
    EXPECT_FALSE(decode_xylib_reply(cut.substr(0, cut.size() - 4)));

    // Programs that hang, crash or talk nonsense cost a message, not the run.
    write_file("x.dat", "1 2\n");
    const auto script = [](const std::string& name, const std::string& body) {
        write_file(name, "#!/bin/sh\n" + body + "\n");
        std::filesystem::permissions(name, std::filesystem::perms::owner_all);
        return (std::filesystem::current_path() / name).string();
    };
    EXPECT_EQ(run_xylib_reader(script("hang", "exec sleep 30"), "x.dat", 0.5).error,
              "the xylib reader gave no answer within 1 s");
    EXPECT_THAT(run_xylib_reader(script("crash", "kill -SEGV $$"), "x.dat").error, HasSubstr("ended on signal 11"));
    EXPECT_EQ(run_xylib_reader(script("talk", "echo hello"), "x.dat").error, "the xylib reader gave no whole answer");
}

} // namespace
} // namespace tarva
