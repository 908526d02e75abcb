// BUMP: the straight-line fit, the calibration list, X-ray and RBS
// calibration (applied or refused), the angle scan, the keys that edit the
// data and set markers, and the marker file.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>

#include "command_fixture.h"
#include "commands/commands.h"
#include "commands/physics/bump.h"
#include "graphics/drivers/recording_driver.h"
#include "io/output_sink.h"
#include "physics/calibration.h"
#include "physics/element_table.h"
#include "physics/kinematics.h"
#include "session/session.h"
#include "temp_dir.h"

namespace tarva {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

using testing_support::TempDir;

TEST(LineFit, FewPointsTwoPointsAndALeastSquaresLine) {
    std::ostringstream said;
    OutputSink out(said);
    LineFit f = line_fit(&out, {3.0}, {1.0});
    EXPECT_FALSE(f.usable);
    EXPECT_EQ(said.str(), " Unable to fit a straight line to one or less points!\n");

    said.str("");
    f = line_fit(&out, {1.0, 3.0}, {5.0, 9.0});
    EXPECT_TRUE(f.usable);
    EXPECT_DOUBLE_EQ(f.slope, 2.0);
    EXPECT_DOUBLE_EQ(f.intercept, 3.0);
    EXPECT_EQ(said.str(), " Only two data points, perfect fit possible!\n");

    // Two peaks at one channel, or three: no division by zero, no line.
    said.str("");
    f = line_fit(&out, {4.0, 4.0}, {5.0, 9.0});
    EXPECT_FALSE(f.usable);
    EXPECT_EQ(said.str(), " Only two data points, perfect fit possible!\n Infinite slope (vertical) line.\n");
    EXPECT_FALSE(line_fit(nullptr, {4.0, 4.0, 4.0}, {1.0, 2.0, 3.0}).usable);

    f = line_fit(nullptr, {1.0, 2.0, 3.0}, {2.0, 4.1, 5.9});
    EXPECT_NEAR(f.slope, 1.95, 1e-6);
    EXPECT_NEAR(f.intercept, 0.1, 1e-6);
    EXPECT_NEAR(f.residual, 0.015, 1e-6);
    EXPECT_NEAR(f.slope_error, std::sqrt(0.015 / 2.0), 1e-6);
    EXPECT_NEAR(f.intercept_error, std::sqrt(0.015 * 7.0 / 3.0), 1e-6);
}

TEST(CalibrationList, NamesAreAlignedReusedAndChecked) {
    std::ostringstream said;
    OutputSink out(said);
    CalibrationList list;
    EXPECT_TRUE(add_calibration_peak(out, list, "fe", 315.0, 'X'));
    EXPECT_TRUE(add_calibration_peak(out, list, "c l", 12.0, 'X'));
    EXPECT_TRUE(add_calibration_peak(out, list, "PbL", 522.0, 'X'));
    EXPECT_TRUE(add_calibration_peak(out, list, "FE K", 316.0, 'X')); // the same peak again
    EXPECT_FALSE(add_calibration_peak(out, list, "xx", 1.0, 'X'));
    EXPECT_FALSE(add_calibration_peak(out, list, "", 0.0, 'X'));
    EXPECT_EQ(said.str(), " Not an element name!\n Elements in calibration list: FE K,C  L,PB L\n");
    EXPECT_EQ(list.count, 3);
    EXPECT_EQ(list.peak[0].channel, 316.0);
    EXPECT_EQ(list.peak[0].z, 26);

    CalibrationList rbs;
    EXPECT_TRUE(add_calibration_peak(out, rbs, "au", 800.0, 'R'));
    EXPECT_EQ(rbs.peak[0].name.str(), "AU  ");
    for (int z = 1; z <= 9; ++z) add_calibration_peak(out, rbs, std::string(element_symbol(z + 10)), z, 'R');
    said.str("");
    EXPECT_FALSE(add_calibration_peak(out, rbs, "fe", 1.0, 'R'));
    EXPECT_EQ(said.str(), " The calibration list is full (10 peaks).\n");
}

// A session with a spectrum in channels on the last picture (recorded).
struct SpectrumSession : testing_support::CommandFixture {
    RecordingDriver rec;
    SpectrumSession() {
        s.graphics.recorder = &rec;
        s.interp.library_dir = std::string(TARVA_SOURCE_DIR) + "/lib/";
        std::vector<float> x, y;
        for (int i = 0; i < 600; ++i) {
            x.push_back(static_cast<float>(i));
            y.push_back(10.0f);
        }
        points(x, y);
        s.draw.picture_drawn = true;
        s.draw.last_device = 'Q';
        s.draw.old_xmin = 0;
        s.draw.old_xmax = 600;
        s.draw.old_ymin = 0;
        s.draw.old_ymax = 100;
    }
    // One key at the cursor; the answers go to its prompt.
    std::string key(char k, float x, float y = 50.0f, const std::string& answers = "") {
        in.str(answers);
        in.clear();
        out.str("");
        bump_key(s, k, x, y);
        return out.str();
    }
    // Peaks at the channels a gain of 0.02 keV and an offset of 0.1 keV give.
    void enter_xray_peaks(double moved_kev) {
        s.data.spectrum_kind = 'X';
        const std::pair<const char*, double> peaks[] = {
            {"ti", 4.511}, {"fe", 6.404}, {"cu", 8.048 + moved_kev}, {"zn", 8.639}, {"pb l", 10.551}};
        for (const auto& [name, e] : peaks)
            key('M', static_cast<float>((e - 0.1) / 0.02), 50.0f, std::string(name) + "\n");
    }
};

TEST_F(SpectrumSession, XrayCalibrationRecoversGainAndOffsetAndApplies) {
    enter_xray_peaks(0.0);
    const std::string said = key('G', 0.0f);
    EXPECT_THAT(said, HasSubstr(" Energy calibration results:\n Element     X-ray line (keV)    Channel   Del (eV)\n"));
    EXPECT_THAT(said, HasSubstr(" Energy = (   0.02000+/-  0.00000)*Channel + (   0.1000")); // said:
    EXPECT_THAT(said, Not(HasSubstr("POSSIBLE ERROR")));
    EXPECT_NEAR(s.data.experiment.energy_per_channel(), 0.02, 0.02 * 1e-4);
    EXPECT_NEAR(s.data.experiment.energy_offset(), 0.1, 0.1 * 1e-4);
    EXPECT_NEAR(s.data.X[0], 0.1f, 1e-5f);
    EXPECT_NEAR(s.data.X[599], 0.1f + 0.02f * 599.0f, 1e-3f);
    EXPECT_EQ(s.data.x_label.trimmed(), "Energy (keV)");
    EXPECT_GE(rec.count(RecordedEvent::Begin), 1); // redrawn
}

TEST_F(SpectrumSession, APeakOffByThreeTenthsOfAKevRefusesTheCalibration) {
    enter_xray_peaks(0.3);
    const std::string said = key('G', 0.0f);
    EXPECT_THAT(said, HasSubstr(" POSSIBLE ERROR - 1 of your data point(s) could not\n"
                                " be fit to better than the detector resolution (   0.20 keV).\n"
                                " Energy calibration not applied to data.\n"));
    EXPECT_EQ(s.data.X[10], 10.0f);
    EXPECT_EQ(s.data.experiment.energy_per_channel(), 1.0f);
    EXPECT_EQ(s.data.x_label.trimmed(), "X");

    // No peaks, one peak, or two at one channel: the report of the line the
    // fit gave (none, slope 0 through the origin, level at the channel), and
    // nothing changes.
    key('Z', 0.0f);
    std::string none = key('G', 0.0f);
    EXPECT_THAT(none,
                HasSubstr(" Unable to fit a straight line to one or less points!\n Energy calibration results:\n"));
    EXPECT_THAT(none, HasSubstr(" Chi-squ =   0.0000    \n Energy calibration not applied to data.\n"));
    key('M', 100.0f, 50.0f, "fe\n");
    std::string one = key('G', 0.0f);
    EXPECT_THAT(one,
                HasSubstr(" Unable to fit a straight line to one or less points!\n Energy calibration results:\n"));
    EXPECT_THAT(one, HasSubstr(" FE K      6.4040       100.00      -6404.0    \n"));
    EXPECT_THAT(one, HasSubstr(" POSSIBLE ERROR - 1 of your data point(s) could not\n"));
    key('M', 100.0f, 50.0f, "cu\n");
    std::string level = key('G', 0.0f);
    EXPECT_THAT(level, HasSubstr(" Infinite slope (vertical) line.\n Energy calibration results:\n"));
    EXPECT_THAT(level, HasSubstr(" Energy = (   0.00000+/-  0.00000)*Channel + ( 100.00000+/-  0.00000) keV\n"));
    EXPECT_THAT(level, HasSubstr(" POSSIBLE ERROR - 2 of your data point(s) could not\n"));
    EXPECT_EQ(s.data.X[10], 10.0f);
}

TEST_F(SpectrumSession, RbsIdentificationCalibrationAndAngleScan) {
    s.data.spectrum_kind = 'R';
    const double e0 = 2000.0, theta = 170.0;
    const double e_si = kinematic_factor(4.0026, 28.086, theta) * e0;
    const double e_au = kinematic_factor(4.0026, 196.967, theta) * e0;
    // Identification at a surface energy names the element among its neighbours.
    const std::string named = key('/', static_cast<float>(e_au + 0.3));
    EXPECT_THAT(named, HasSubstr(">>>  79 Au   196.967"));
    EXPECT_THAT(named, HasSubstr(" <<< Best match"));
    // Oxygen, silicon and gold at channels for 2 keV per channel, no offset.
    const double e_o = kinematic_factor(4.0026, 15.9994, theta) * e0;
    EXPECT_THAT(key('M', static_cast<float>(e_si / 2.0), 50.0f, "si\n"),
                HasSubstr("Element name for surface energy at 565.7"));
    key('M', static_cast<float>(e_au / 2.0), 50.0f, "AU\n");
    key('M', static_cast<float>(e_o / 2.0), 50.0f, "o\n");
    const std::string scan = key('T', 0.0f);
    EXPECT_THAT(scan, HasSubstr(" Scattering angle:   Calibration              Mean error\n"));
    // Only the spectrum's own angle puts the three peaks on one line.
    EXPECT_THAT(scan, HasSubstr("\n     170.00          2.00000     "));
    auto mean_error = [&](const std::string& angle) {
        const std::size_t row = scan.find("\n     " + angle);
        return row == std::string::npos ? -1.0 : std::stod(scan.substr(row + 40, 11));
    };
    EXPECT_LT(mean_error("170.00"), 1.0) << scan;
    EXPECT_GT(mean_error("169.00"), 50.0);
    EXPECT_GT(mean_error("175.00"), mean_error("171.00"));
    EXPECT_THAT(scan, HasSubstr("\n     175.00"));
    EXPECT_EQ(s.data.X[10], 10.0f); // the scan applies nothing
    const std::string said = key('G', 0.0f);
    EXPECT_THAT(said, HasSubstr("Element     k*E0 (keV)    Channel   Del (eV)"));
    EXPECT_THAT(said, Not(HasSubstr("POSSIBLE ERROR")));
    EXPECT_NEAR(s.data.experiment.energy_per_channel(), 2.0, 1e-4);
    EXPECT_NEAR(s.data.X[10], 20.0f, 1e-2f);

    // Two peaks: each fit of the scan says it is one of two points.
    key('Z', 0.0f);
    key('M', static_cast<float>(e_si / 2.0), 50.0f, "si\n");
    key('M', static_cast<float>(e_au / 2.0), 50.0f, "au\n");
    const std::string two = key('T', 0.0f);
    std::size_t fits = 0;
    for (std::size_t at = 0; (at = two.find("perfect fit possible!\n     1", at)) != std::string::npos; ++at) ++fits;
    EXPECT_EQ(fits, 11u) << two;
    // A surface energy above the beam's: the impossible mass is reported by
    // both the kinematics and the weight lookup.
    EXPECT_EQ(key('/', 2500.0f), " Unknown mass unreasonably heavy.\a\n The unknown mass is unreasonably light.\n");

    s.data.spectrum_kind = 'L';
    EXPECT_EQ(key('/', 100.0f), " Unknown spectral type.\n");
    EXPECT_EQ(key('M', 100.0f), " Unknown spectral type.\n");
}

TEST_F(SpectrumSession, KeysSetMarkersAndEditTheData) {
    EXPECT_EQ(key('2', 40.0f, 7.0f), " Marker 2: X =    40.000     Y =    7.0000    \n"
                                     "                  X1-X2 =  -40.000    \n"
                                     "                  Y1-Y2 =  -7.0000    \n");
    key('!', 20.0f, 3.0f);
    key('&', 1.0f, 2.0f);
    EXPECT_EQ(s.markers.x[0], 20.0);
    EXPECT_EQ(s.markers.y[5], 2.0);

    key('F', 0.0f);
    EXPECT_EQ(s.data.Y[19], 10.0f);
    EXPECT_EQ(s.data.Y[20], 0.0f);
    EXPECT_EQ(s.data.Y[40], 0.0f);
    EXPECT_EQ(s.data.SIGMA[30], 0.0f);
    key('E', 0.0f);
    EXPECT_EQ(s.data.count, 600 - 19); // 21..39 cut out
    EXPECT_EQ(s.data.X[21], 40.0f);
    key('W', 0.0f);
    EXPECT_EQ(xs(), (std::vector<float>{20.0f, 40.0f}));
    // Markers in either order give the same region.
    std::swap(s.markers.x[0], s.markers.x[1]);
    key('W', 0.0f);
    EXPECT_EQ(s.data.count, 2);
    key('C', 5.0f, 1.0f);
    EXPECT_EQ(xs(), (std::vector<float>{15.0f, 35.0f}));
    EXPECT_EQ(ys(), (std::vector<float>{-1.0f, -1.0f}));
    key('P', 50.0f, 9.0f);
    key('s', 60.0f, 9.0f);
    EXPECT_EQ(es(), (std::vector<float>{0.0f, 0.0f, 0.0f, 3.0f}));
    EXPECT_THAT(key('K', 0.0f), HasSubstr("Key not used by BUMP"));
    EXPECT_FALSE(bump_key(s, 'q', 0.0f, 0.0f));
    EXPECT_THAT(key('Z', 0.0f), HasSubstr("All elements deleted from list."));
}

TEST_F(SpectrumSession, MarkerFileSavedReadAndFaults) {
    TempDir dir;
    EXPECT_EQ(run("BUMP/R"), " Unable to OPEN marker file QVMARK.DAT\n Current marker positions;\n\n"
                             "        1:    0.0000    ,   0.0000    \n        2:    0.0000    ,   0.0000    \n"
                             "        3:    0.0000    ,   0.0000    \n        4:    0.0000    ,   0.0000    \n"
                             "        5:    0.0000    ,   0.0000    \n        6:    0.0000    ,   0.0000    \n\n");
    for (std::size_t k = 0; k < 6; ++k) {
        s.markers.x[k] = 1.5 * static_cast<double>(k + 1);
        s.markers.y[k] = -1e6 * static_cast<double>(k + 1);
    }
    EXPECT_EQ(run("BUMP/S"), " Markers saved in file QVMARK.DAT\n");
    EXPECT_EQ(testing_support::read_file("QVMARK.DAT"),
              "    1.5000    , -1.00000E+06,   3.0000    , -2.00000E+06,   4.5000    , -3.00000E+06\n"
              "    6.0000    , -4.00000E+06,   7.5000    , -5.00000E+06,   9.0000    , -6.00000E+06\n");
    s.markers = Markers{};
    EXPECT_THAT(run("BUMP/R"), HasSubstr(" Markers READ FROM file QVMARK.DAT\n"));
    EXPECT_EQ(s.markers.x[5], 9.0);
    EXPECT_EQ(s.markers.y[3], -4e6);

    { std::ofstream("QVMARK.DAT") << " 1, 2, 3\n"; }
    EXPECT_THAT(run("BUMP/R"), HasSubstr(" ERROR READING MARKERS FROM FILE QVMARK.DAT\n"));
    EXPECT_EQ(s.markers.x[5], 9.0); // kept
    EXPECT_EQ(run("BUMP/X"), " Unknown option.\x07\n");
    s.draw.picture_drawn = false;
    EXPECT_EQ(run("BUMP"), " No current display!\x07\n");
}

} // namespace
} // namespace tarva
