// The X-ray line database: the generated file, the reader and its faults,
// the set lookup, the search near an energy, the marker layout, XRAY's
// pictures and PERIOD's X-ray cells.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>

#include "command_fixture.h"
#include "commands/physics/xray_plot.h"
#include "graphics/drivers/recording_driver.h"
#include "io/output_sink.h"
#include "physics/period_layout.h"
#include "physics/xray_lines.h"
#include "session/session.h"
#include "text/format.h"

namespace tarva {
namespace {

const std::string kShippedFile = std::string(TARVA_SOURCE_DIR) + "/lib/xraylines.dat";

// A database read from text, with what the reader said.
struct LoadedText {
    std::ostringstream said;
    OutputSink out{said};
    XrayDatabase db;
    explicit LoadedText(const std::string& text) {
        std::istringstream in(text);
        read_xray_lines(out, in, "test.dat", db);
        db.loaded = true;
    }
};

// A set in the file layout.
std::string set_text(const std::string& name, const std::vector<std::pair<double, double>>& lines, int isotope = 0) {
    std::string t =
        format_A(name, 4) + format_I(static_cast<long long>(lines.size()), 4) + " " + format_I(isotope, 4) + "\n";
    for (std::size_t i = 0; i < lines.size(); ++i) {
        t += format_F(lines[i].first, 7, 3) + format_F(lines[i].second, 7, 3);
        if (i % 5 == 4 || i + 1 == lines.size()) t += "\n";
    }
    return t;
}
const std::string kEnd = "END    0    0\n";

struct ShippedDatabase : ::testing::Test {
    std::ostringstream said;
    OutputSink out{said};
    XrayDatabase db{kShippedFile, {}, false};

    // First line of a set, 0 when there is none.
    float first_energy(const std::string& name, int isotope = 0) {
        FixedText<4> n(name);
        int index = 0, count = 0;
        std::array<float, kMaxXrayLines> e{}, i{};
        xray_set(out, db, n, isotope, index, count, e, i);
        return e[0];
    }
};

TEST_F(ShippedDatabase, KnownEnergiesAndTheLayoutOfTheSets) {
    load_xray_lines(out, db);
    ASSERT_TRUE(db.loaded);
    EXPECT_EQ(said.str(), "");
    EXPECT_FLOAT_EQ(first_energy("FE K"), 6.404f);
    EXPECT_FLOAT_EQ(first_energy("cu k"), 8.048f);
    EXPECT_FLOAT_EQ(first_energy("PB L"), 10.551f);
    EXPECT_FLOAT_EQ(first_energy("AU L"), 9.713f);
    EXPECT_FLOAT_EQ(first_energy("AM G", 241), 59.541f);
    EXPECT_FLOAT_EQ(first_energy("AM G", 243), 0.0f); // a gamma set needs its isotope
    EXPECT_FLOAT_EQ(first_energy("C K"), 0.277f);     // "C K" is the set "C  K"

    ASSERT_LE(db.sets.size(), 300u);
    int k = 0, l = 0, m = 0, g = 0;
    for (std::size_t i = 0; i < db.sets.size(); ++i) {
        const XraySet& s = db.sets[i];
        const char family = s.name[3];
        k += family == 'K';
        l += family == 'L';
        m += family == 'M';
        g += family == 'G';
        if (family == 'K' || family == 'L') {
            EXPECT_LT(i, 200u) << s.name.str(); // where lines_near looks
        }
        EXPECT_EQ(s.isotope > 0, family == 'G') << s.name.str();
        ASSERT_GE(s.count, 1);
        ASSERT_LE(s.count, kMaxXrayLines);
        EXPECT_FLOAT_EQ(s.intensity[0], 1.0f) << s.name.str(); // strongest first, relative to it
        for (int j = 0; j < s.count; ++j) EXPECT_LE(s.intensity[static_cast<std::size_t>(j)], 1.0f);
    }
    EXPECT_GE(k, 80);
    EXPECT_GE(l, 70);
    EXPECT_GE(m, 30);
    EXPECT_GE(g, 6);
}

TEST_F(ShippedDatabase, LinesNearAnEnergyNameTheElement) {
    double e = 6.40;
    FixedText<4> name;
    ASSERT_TRUE(lines_near(out, db, e, name));
    EXPECT_EQ(name.str(), "Fe  ");
    EXPECT_FLOAT_EQ(static_cast<float>(e), 6.404f);
    EXPECT_NE(said.str().find(" Lines less than 200.0 eV from the marker:\n"), std::string::npos);
    EXPECT_NE(said.str().find("  FE K          1.000          6.404             4.0\n"), std::string::npos);

    said.str("");
    e = 60.0;
    name = "?";
    ASSERT_TRUE(lines_near(out, db, e, name));
    EXPECT_NE(said.str().find("Lines less than 3000.0 eV from the marker:"), std::string::npos);
    EXPECT_GT(std::fabs(e - 60.0), 0.2); // only the wider tolerance finds a line there
    EXPECT_LT(std::fabs(e - 60.0), 3.0);

    // A set name gives the energy of its first line.
    name = "CU K";
    e = 0.0;
    EXPECT_TRUE(lines_near(out, db, e, name));
    EXPECT_FLOAT_EQ(static_cast<float>(e), 8.048f);
}

TEST(XrayReader, SetsHeadersAndTheEndRecord) {
    // 16 lines in a set: all are read, the first 15 kept; a field without a
    // point has three implied decimals; the end record stops the reading.
    std::vector<std::pair<double, double>> many;
    for (int i = 1; i <= 16; ++i) many.push_back({i, 1.0 / i});
    LoadedText t(set_text("AB K", many) + "CD G   1   57\n  1220   1000\n" + kEnd + set_text("EF K", {{1, 1}}));
    EXPECT_EQ(t.said.str(), "");
    ASSERT_EQ(t.db.sets.size(), 2u);
    EXPECT_EQ(t.db.sets[0].count, 15);
    EXPECT_FLOAT_EQ(t.db.sets[0].energy[14], 15.0f);
    EXPECT_FLOAT_EQ(t.db.sets[1].energy[0], 1.22f);
    EXPECT_FLOAT_EQ(t.db.sets[1].intensity[0], 1.0f);
    EXPECT_EQ(t.db.sets[1].isotope, 57);
}

TEST(XrayReader, ThreeHundredSetsAtMost) {
    std::string text;
    for (int i = 0; i < 301; ++i) text += set_text("X" + std::to_string(i % 10) + " K", {{1.0 + i, 1.0}});
    LoadedText t(text + kEnd);
    EXPECT_EQ(t.db.sets.size(), 300u);
    EXPECT_EQ(t.said.str(), " Too many x-raylines in the data base!\n Only the first  300 sets of lines loaded.\n");
}

TEST(XrayReader, MalformedRecordsGiveTheirLineNumber) {
    const std::string good = set_text("FE K", {{6.404, 1.0}, {6.391, 0.5}});
    struct Case {
        std::string text;
        std::size_t sets;
        int line;
    };
    // Six pairs need two records: the second is missing.
    const std::string six = "CU K   6    0\n" + std::string(70, '1') + "\n";
    for (const Case& c : {Case{good + "CU K   x    0\n", 1, 3}, Case{good + "CU K   1    0\n  8.0x8  1.000\n", 1, 4},
                          Case{good + six, 1, 5}, Case{"ZN K   1    y\n", 0, 1}}) {
        LoadedText t(c.text);
        EXPECT_EQ(t.db.sets.size(), c.sets) << c.text;
        EXPECT_EQ(t.said.str(),
                  " Error reading the x-ray line data base test.dat at line " + std::to_string(c.line) + ".\n")
            << c.text;
    }
}

TEST(XrayReader, AMissingFileIsReportedAndTriedAgain) {
    std::ostringstream said;
    OutputSink out(said);
    XrayDatabase db{"/nonexistent/xraylines.dat", {}, false};
    double e = 6.4;
    FixedText<4> name;
    EXPECT_FALSE(lines_near(out, db, e, name));
    EXPECT_FALSE(db.loaded);
    EXPECT_NE(said.str().find("Unable to open the x-ray line data base /nonexistent/xraylines.dat"), std::string::npos);
    EXPECT_NE(said.str().find("No lines in data base matched to within detector resolution 200.0 eV"),
              std::string::npos);
    db.file = kShippedFile;
    load_xray_lines(out, db);
    EXPECT_TRUE(db.loaded);
}

// A stream whose reads fail (a directory opened as a file; a failing disk)
// is said at the line where it failed, and the reading ends there: the
// library's stream buffer throws, which once ended the program.
TEST(XrayReader, AReadErrorIsSaidAndEndsTheReading) {
    std::ostringstream said;
    OutputSink out(said);
    XrayDatabase db;
    std::ifstream directory(TARVA_SOURCE_DIR);
    ASSERT_TRUE(directory.is_open());
    EXPECT_NO_THROW(read_xray_lines(out, directory, "lib", db));
    EXPECT_TRUE(db.sets.empty());
    EXPECT_EQ(said.str(), " Error reading the x-ray line data base lib at line 1.\n");
}

TEST(XraySetLookup, ByIndexByNameAndNotFound) {
    LoadedText t(set_text("FE K", {{6.404, 1.0}}) + set_text("C  K", {{0.277, 1.0}}) +
                 set_text("AM G", {{59.541, 1.0}}, 241) + kEnd);
    FixedText<4> name(" ");
    int isotope = 0, index = 3, count = 0;
    std::array<float, kMaxXrayLines> e{}, i{};
    EXPECT_TRUE(xray_set(t.out, t.db, name, isotope, index, count, e, i));
    EXPECT_EQ(name.str(), "AM G");
    EXPECT_EQ(isotope, 241);
    name = " ";
    index = 4; // outside: nothing happens
    EXPECT_FALSE(xray_set(t.out, t.db, name, isotope, index, count, e, i));
    EXPECT_EQ(name.str(), "    ");
    name = "c k";
    EXPECT_TRUE(xray_set(t.out, t.db, name, isotope, index, count, e, i));
    EXPECT_EQ(index, 2);
    EXPECT_EQ(name.str(), "C  K");
    name = "FE L";
    EXPECT_FALSE(xray_set(t.out, t.db, name, isotope, index, count, e, i));
    EXPECT_EQ(index, 0);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(e[0], 0.0f);
}

TEST(LineMarkers, LengthsThresholdCountAndLabelPlaces) {
    const std::vector<LineMarker> lines{{6.0f, 2.0f}, {7.0f, 1.0f}, {8.0f, 0.2f}, {30.0f, 1.0f}};
    // Box x 0..20, y 0..100: automatic height is half the box.
    MarkerLayout m = layout_line_markers(lines, 0, 0.0, 0.0, false, 'C', false, 0, 20, 0, 100, 4.0f, 2.0f);
    ASSERT_EQ(m.strokes.size(), 3u); // 30 keV is outside
    EXPECT_FLOAT_EQ(m.strokes[0].y1, 50.0f);
    EXPECT_FLOAT_EQ(m.strokes[1].y1, 25.0f);
    EXPECT_FLOAT_EQ(m.strokes[2].y1, 5.0f);
    EXPECT_FLOAT_EQ(m.label_x, 5.0f); // centred over 6..8
    EXPECT_FLOAT_EQ(m.label_y, 51.0f);

    m = layout_line_markers(lines, 2, 0.3, 40.0, true, 'R', false, 0, 20, 0, 100, 4.0f, 2.0f);
    ASSERT_EQ(m.strokes.size(), 2u);
    EXPECT_FLOAT_EQ(m.strokes[1].y0, 100.0f);
    EXPECT_FLOAT_EQ(m.strokes[1].y1, 80.0f);
    EXPECT_FLOAT_EQ(m.label_x, 3.0f);  // right end at 7
    EXPECT_FLOAT_EQ(m.label_y, 57.0f); // below the longest (60), gap 1, cap 2

    m = layout_line_markers(lines, 0, 0.0, 0.0, false, 'L', true, 0.7f, 0.88f, 0, 100, 4.0f, 2.0f);
    ASSERT_EQ(m.strokes.size(), 2u); // log10 of 6 and 7; 8 keV is outside
    EXPECT_FLOAT_EQ(m.strokes[0].x, std::log10(6.0f));
    EXPECT_FLOAT_EQ(m.label_x, std::log10(6.0f));
}

TEST(XrayCommand, MarkersOnTheLastPicture) {
    testing_support::CommandSession t("cu/k\ncu/k\nfe/k\nfe/k\n");
    Session& s = t.s;
    const std::ostringstream& said = t.out;
    s.interp.library_dir = std::string(TARVA_SOURCE_DIR) + "/lib/";
    RecordingDriver rec;
    s.graphics.recorder = &rec;
    auto run = [&](const std::string& text) { t.type(text); };
    run("XRAY");
    EXPECT_NE(said.str().find("No plot current."), std::string::npos);
    EXPECT_TRUE(rec.events.empty());

    s.draw.picture_drawn = true;
    s.draw.last_device = 'Q';
    s.draw.old_xmin = 0;
    s.draw.old_xmax = 20;
    s.draw.old_ymin = 0;
    s.draw.old_ymax = 1000;
    run("XRAY");
    // Four markers from the bottom: 8.048 keV is the longest, half the box.
    const auto v = rec.vectors();
    ASSERT_GE(v.size(), 8u);
    EXPECT_EQ(v[0], (RecordedVector{8.048f, 0.0f, 3}));
    EXPECT_EQ(v[1], (RecordedVector{8.048f, 500.0f, 2}));
    EXPECT_EQ(v[2].x, 8.028f);
    EXPECT_NEAR(v[3].y, 256.5f, 0.01f);
    EXPECT_EQ(rec.count(RecordedEvent::End), 1);

    rec.clear();
    run("XRAY/P");
    EXPECT_EQ(rec.vectors()[0], (RecordedVector{2 * 6.404f, 0.0f, 3}));
    rec.clear();
    run("XRAY/C");
    EXPECT_EQ(rec.vectors()[0], (RecordedVector{6.404f - 1.736f, 0.0f, 3}));
}

TEST(PeriodXray, PrincipalLinesByPriority) {
    LoadedText t(set_text("FE K", {{6.404, 1.0}}) + set_text("FE L", {{0.705, 1.0}}) +
                 set_text("PB L", {{10.551, 1.0}}) + set_text("PB M", {{2.346, 1.0}}) + kEnd);
    EXPECT_EQ(principal_line_text(t.db, 26, 'K'), "K 6.4040");
    EXPECT_EQ(principal_line_text(t.db, 26, 'L'), "L 0.7050");
    EXPECT_EQ(principal_line_text(t.db, 26, 'M'), "L 0.7050");
    EXPECT_EQ(principal_line_text(t.db, 82, 'K'), "L 10.551");
    EXPECT_EQ(principal_line_text(t.db, 82, 'M'), "M 2.3460");
    EXPECT_EQ(principal_line_text(t.db, 6, 'K'), "");
}

} // namespace
} // namespace tarva
