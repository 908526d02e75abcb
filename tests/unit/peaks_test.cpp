// PEAKS: the peak search on synthetic spectra (background alone, peaks of
// known significance, doublets), the identification of X-ray lines and
// elements, and the command: its refusals, the seeding of function 18 for
// FIT/C, the naming after a fit and the markers.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <sstream>

#include "analysis/peak_search.h"
#include "analysis/xray_identification.h"
#include "command_fixture.h"
#include "commands/commands.h"
#include "graphics/drivers/recording_driver.h"
#include "io/output_sink.h"
#include "synthetic_spectrum.h"

namespace tarva {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using testing_support::synthetic_spectrum;
using testing_support::SyntheticPeak;

PeakSearchResult search(const testing_support::SyntheticSpectrum& s, PeakSearchOptions o = {}) {
    return find_peaks(s.x, s.y, s.sigma, 0, static_cast<int>(s.x.size()) - 1, o);
}

// The significance a counting experiment gives a peak: its net counts
// within one FWHM of the centre over their standard deviation with the
// background under them.
double classic_significance(const SyntheticPeak& p, double background) {
    const double net = 0.9815 * kGaussianAreaFactor * p.height * p.fwhm;
    return net / std::sqrt(net + 2.0 * (2.0 * p.fwhm * background));
}

TEST(PeakSearch, BackgroundAloneGivesNoPeakInAtLeast99PercentOfSpectra) {
    struct Level {
        double background, slope;
    };
    int spectra = 0, with_peaks = 0;
    for (const Level l : {Level{3.0, 0.0}, Level{40.0, 0.05}, Level{500.0, 0.0}, Level{2000.0, -1.5}})
        for (unsigned seed = 0; seed < 150; ++seed) {
            const auto s = synthetic_spectrum(1024, l.background, l.slope, {}, 1000 + seed);
            ++spectra;
            if (!search(s).peaks.empty()) ++with_peaks;
        }
    EXPECT_LE(with_peaks, spectra / 100) << with_peaks << " of " << spectra << " spectra";
}

TEST(PeakSearch, PeaksOfTenSigmaAreFoundAtTheirCentresAndNothingElse) {
    const double background = 80.0;
    for (unsigned seed = 0; seed < 20; ++seed) {
        std::mt19937 rng(seed);
        std::uniform_real_distribution<double> u(0.0, 1.0);
        std::vector<SyntheticPeak> peaks;
        for (int k = 0; k < 12; ++k) {
            const double fwhm = 6.0 + 6.0 * u(rng);
            const double target = 4.0 + 40.0 * u(rng); // classic significance
            // Solve net / sqrt(net + 4 fwhm B) = target for the net counts.
            const double b = 4.0 * fwhm * background;
            const double net = 0.5 * (target * target + target * std::sqrt(target * target + 4.0 * b));
            peaks.push_back({40.0 + 80.0 * k + 20.0 * u(rng), net / (0.9815 * kGaussianAreaFactor * fwhm), fwhm});
        }
        const auto s = synthetic_spectrum(1024, background, 0.03, peaks, seed);
        const PeakSearchResult r = search(s);
        for (const SyntheticPeak& p : peaks) {
            if (classic_significance(p, background + 0.03 * p.centre) < 10.0) continue;
            const auto near = std::find_if(r.peaks.begin(), r.peaks.end(), [&](const FoundPeak& f) {
                return std::fabs(f.x - p.centre) <= 0.2 * p.fwhm;
            });
            EXPECT_NE(near, r.peaks.end()) << "seed " << seed << ": peak at " << p.centre << " not found";
        }
        for (const FoundPeak& f : r.peaks)
            EXPECT_TRUE(std::any_of(peaks.begin(), peaks.end(),
                                    [&](const SyntheticPeak& p) { return std::fabs(f.x - p.centre) <= p.fwhm; }))
                << "seed " << seed << ": nothing at " << f.x;
    }
}

TEST(PeakSearch, DoubletsOneAndAHalfFwhmApartAreTwoPeaks) {
    int pairs = 0, found_two = 0;
    for (unsigned seed = 0; seed < 20; ++seed) {
        // An isolated peak shows the width; doublets of equal and of 2:1 height.
        const std::vector<SyntheticPeak> peaks = {
            {150, 600, 10}, {400, 500, 10}, {415, 500, 10}, {700, 800, 10}, {715, 400, 10}};
        const auto s = synthetic_spectrum(1024, 60.0, 0.0, peaks, 500 + seed);
        const PeakSearchResult r = search(s);
        for (std::size_t d : {1u, 3u}) {
            ++pairs;
            int near = 0;
            for (const FoundPeak& f : r.peaks)
                near += std::fabs(f.x - peaks[d].centre) <= 2.0 || std::fabs(f.x - peaks[d + 1].centre) <= 2.0;
            found_two += near == 2;
        }
        // The width found is the peaks' own.
        EXPECT_NEAR(r.fwhm_points, 10.0, 1.5) << "seed " << seed;
    }
    EXPECT_EQ(found_two, pairs);
}

// A synthetic XRF spectrum of Cr, Mn, Fe, Ni, Cu and Zn: K lines from the
// shipped database at 150 eV resolution, 10 eV per channel.
struct XrfSpectrum : testing_support::CommandFixture {
    static constexpr double kKevPerChannel = 0.01;
    XrayDatabase db{std::string(TARVA_SOURCE_DIR) + "/lib/xraylines.dat", {}, false};
    std::vector<std::pair<std::string, double>> elements = {{"CR K", 1500.0}, {"MN K", 900.0},  {"FE K", 3000.0},
                                                            {"NI K", 1200.0}, {"CU K", 2000.0}, {"ZN K", 1600.0}};
    std::ostringstream said;
    OutputSink sink{said};

    XrfSpectrum() {
        s.interp.library_dir = std::string(TARVA_SOURCE_DIR) + "/lib/";
        load_xray_lines(sink, db);
    }
    // Channels calibrated by the experimental parameters, or X in keV.
    void load(unsigned seed, bool kev = false) {
        const auto peaks = testing_support::xray_line_peaks(db, elements, kKevPerChannel, 0.150);
        synthetic_spectrum(1024, 20.0, -0.005, peaks, seed).into(s.data);
        s.data.x_label = "Channel";
        s.data.experiment.energy_per_channel() = static_cast<float>(kKevPerChannel);
        s.data.experiment.energy_offset() = 0.0f;
        if (!kev) return;
        for (int i = 0; i < s.data.count; ++i)
            s.data.X[static_cast<std::size_t>(i)] *= static_cast<float>(kKevPerChannel);
        s.data.x_label = "Energy (keV)";
        s.data.experiment = {};
    }
    // The element symbols of PEAKS/I's summary.
    static std::set<std::string> summary(const std::string& out) {
        std::set<std::string> found;
        std::istringstream in(out.substr(out.find("Elements present")));
        std::string line;
        std::getline(in, line);
        std::getline(in, line);
        while (std::getline(in, line) && line.size() > 3) {
            std::istringstream words(line);
            std::string symbol;
            words >> symbol;
            found.insert(symbol);
        }
        return found;
    }
};

TEST_F(XrfSpectrum, SearchSeedFitAndIdentifyNameExactlyTheElements) {
    const std::set<std::string> expected = {"CR", "MN", "FE", "NI", "CU", "ZN"};
    for (unsigned seed = 1; seed <= 4; ++seed) {
        load(seed, seed == 4);
        const std::string found = run("PEAKS");
        const std::string first = run("PEAKS/I");
        EXPECT_EQ(summary(first), expected) << "seed " << seed << ", after the search\n" << found << first;
        EXPECT_THAT(run("PEAKS/S"), HasSubstr("parameters, all varied"));
        EXPECT_THAT(run("FIT/C"), HasSubstr("Converged"));
        const std::string named = run("PEAKS/I");
        EXPECT_THAT(named, HasSubstr("The peaks of function 18"));
        EXPECT_EQ(summary(named), expected) << "seed " << seed << ", after the fit\n" << named;
        // Fe K beta is Fe's, not a line of another element.
        EXPECT_THAT(named, HasSubstr("7.05"));
        EXPECT_THAT(named, testing::ContainsRegex("7\\.05[0-9]+ keV, FWHM +[0-9]+ eV: FE Kb"));
    }
}

TEST(XrayIdentification, EscapeAndSumPeaksOfStrongLinesAreNamedAsSuch) {
    std::ostringstream said;
    OutputSink out(said);
    XrayDatabase db{std::string(TARVA_SOURCE_DIR) + "/lib/xraylines.dat", {}, false};
    load_xray_lines(out, db);
    // Fe K alpha and K beta, the escape peak of K alpha 1.740 keV below it,
    // its sum peak at twice its energy, and a Ti K alpha as weak as the
    // escape peak (its K beta too weak to be seen).
    const std::vector<XrayPeak> peaks = {{6.400, 0.150, 5000, 200},
                                         {7.058, 0.155, 670, 60},
                                         {4.660, 0.140, 40, 8},
                                         {12.800, 0.200, 30, 6},
                                         {4.510, 0.140, 45, 9}};
    const XrayIdentification id = identify_xray_peaks(db, peaks, [](double) { return 25.0; });
    ASSERT_EQ(id.peaks.size(), peaks.size());
    EXPECT_EQ(id.peaks[0].origin, PeakOrigin::Line);
    EXPECT_EQ(id.peaks[0].label, "Ka");
    EXPECT_EQ(id.peaks[1].label, "Kb");
    EXPECT_EQ(id.peaks[1].set, id.peaks[0].set);
    EXPECT_EQ(id.peaks[2].origin, PeakOrigin::Escape);
    EXPECT_EQ(id.peaks[2].parent, 0);
    EXPECT_EQ(id.peaks[3].origin, PeakOrigin::Sum);
    EXPECT_EQ(id.peaks[3].parent, 0);
    EXPECT_EQ(id.peaks[4].origin, PeakOrigin::Line);
    ASSERT_EQ(id.elements.size(), 2u);
    EXPECT_EQ(id.elements[0].symbol, "FE");
    EXPECT_EQ(id.elements[0].lines, (std::vector<std::string>{"Ka", "Kb"}));
    EXPECT_EQ(id.elements[1].symbol, "TI");
    // Each peak's lines lie within its FWHM, the one it is named after first.
    for (std::size_t p : {0u, 1u, 4u}) {
        ASSERT_FALSE(id.peaks[p].lines.empty());
        EXPECT_EQ(id.peaks[p].lines[0].line.set, id.peaks[p].set);
        for (const LineMatch& m : id.peaks[p].lines) EXPECT_LE(std::fabs(m.difference_ev), 1000.0 * peaks[p].fwhm);
    }
}

// Refusals leave data set and function alone; the search changes nothing,
// /S only the function and its parameters.
TEST(PeaksCommand, RefusalsAndWhatEachFormChanges) {
    testing_support::CommandSession t;
    auto data = [&] {
        std::ostringstream o;
        for (int i = 0; i < t.s.data.count; ++i)
            o << t.s.data.X[i] << ' ' << t.s.data.Y[i] << ' ' << t.s.data.SIGMA[i] << '\n';
        return o.str();
    };
    auto function = [&] {
        std::ostringstream o;
        o << t.s.fit.function << ' ' << t.s.fit.nparams;
        for (int k = 0; k < kMaxParams; ++k) o << ' ' << t.s.fit.value[k] << ' ' << t.s.fit.mask[k];
        return o.str();
    };
    auto snapshot = [&] { return data() + function(); };
    auto refused = [&](const std::string& line, const std::string& message, long lines = 1) {
        const std::string before = snapshot();
        const std::string said = t.run(cmd_peaks, line);
        EXPECT_THAT(said, HasSubstr(message));
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), lines) << said;
        EXPECT_EQ(snapshot(), before) << line;
    };
    t.points({1, 2, 3, 4}, {5, 9, 5, 4});
    refused("PEAKS/S", "Only 4 points in the search region");
    t.points({1, 2, 3, 4, 5, 6}, {0, 0, 0, 0, 0, 0});
    refused("PEAKS", "are zero");
    t.points({1, 2, 3, 4, 5, 6}, {3, 4, -1, 6, 2, 2});
    refused("PEAKS/S", "Negative counts");
    t.s.markers.x[0] = 200;
    t.s.markers.x[1] = 300;
    refused("PEAKS", "No data points in the search region (between markers 1 and 2, X = 200.000 to 300.000)");
    t.s.markers.x = {};
    refused("PEAKS/I", "Give it with MCA/N", 2);
    refused("PEAKS/Q", "Unknown option.");

    synthetic_spectrum(512, 40.0, 0.0, {{100, 400, 8}, {300, 300, 8}, {302 + 12, 300, 8}}, 7).into(t.s.data);
    const std::string points = data();
    t.s.fit.value[40] = 1.5;
    t.s.fit.mask[5] = 0;
    const std::string before = function();
    EXPECT_THAT(t.run("PEAKS 6"), HasSubstr("3 peaks found."));
    EXPECT_THAT(t.run("PEAKS"), HasSubstr("threshold 6.0 sigma"));
    EXPECT_EQ(function(), before);
    const std::string seeded = t.run("PEAKS/S");
    EXPECT_THAT(seeded, HasSubstr("11 parameters, all varied. Data set unchanged."));
    EXPECT_EQ(t.s.fit.function, 18);
    EXPECT_EQ(t.s.fit.nparams, 11);
    EXPECT_EQ(std::count(t.s.fit.mask.begin(), t.s.fit.mask.begin() + 11, 1), 11);
    EXPECT_EQ(t.s.fit.value[40], 1.5); // slots beyond the function's are left alone
    EXPECT_NEAR(t.s.fit.value[0], 40.0, 5.0);
    EXPECT_NEAR(t.s.fit.value[3], 100.0, 0.5);
    EXPECT_NEAR(t.s.fit.value[4], 8.0, 1.0);
    EXPECT_EQ(data(), points);
}

// The final chi-square FIT/C printed.
double final_chi_square(const std::string& out) {
    const std::size_t at = out.find("Final CHI**2 =");
    return at == std::string::npos ? -1.0 : std::stod(out.substr(at + 14));
}

TEST(PeaksCommand, FitFromTheSeedReachesTheMinimumOfTheTrueStarts) {
    const std::vector<SyntheticPeak> truth = {{60, 300, 9},   {180, 900, 9},  {300, 150, 10}, {420, 600, 10},
                                              {435, 600, 10}, {560, 250, 11}, {690, 700, 11}, {820, 400, 12},
                                              {840, 200, 12}, {960, 500, 12}};
    const auto spectrum = synthetic_spectrum(1024, 50.0, 0.02, truth, 11);
    testing_support::CommandSession seeded, typed;
    spectrum.into(seeded.s.data);
    spectrum.into(typed.s.data);
    EXPECT_THAT(seeded.run("PEAKS/S"), HasSubstr("32 parameters, all varied"));
    const std::string from_seed = seeded.run("FIT/C");
    // The same function typed in by hand at the true values, all varied.
    typed.run("FUNCT 18");
    typed.run("NPAR 32");
    std::fill(typed.s.fit.mask.begin(), typed.s.fit.mask.begin() + 32, 1);
    typed.s.fit.value[0] = 50.0;
    typed.s.fit.value[1] = 0.02;
    for (std::size_t k = 0; k < truth.size(); ++k) {
        typed.s.fit.value[2 + 3 * k] = truth[k].height;
        typed.s.fit.value[3 + 3 * k] = truth[k].centre;
        typed.s.fit.value[4 + 3 * k] = truth[k].fwhm;
    }
    const std::string from_truth = typed.run("FIT/C");
    EXPECT_THAT(from_seed, HasSubstr("Converged"));
    EXPECT_THAT(from_truth, HasSubstr("Converged"));
    EXPECT_NEAR(final_chi_square(from_seed), final_chi_square(from_truth), 1e-6 * final_chi_square(from_truth))
        << from_seed << from_truth;
    for (int k = 0; k < 32; ++k)
        EXPECT_NEAR(seeded.s.fit.value[k], typed.s.fit.value[k], 1e-3 * typed.s.fit.error[k] + 1e-9)
            << "slot " << k + 1;
}

// PEAKS/M: a tick over each peak of the last picture with its number, or
// its name after PEAKS/I; the search region is the picture's X range.
TEST_F(XrfSpectrum, MarkersOnTheLastPictureAndTheWindowAsRegion) {
    RecordingDriver rec;
    s.graphics.recorder = &rec;
    load(4);
    EXPECT_THAT(run("PEAKS/M"), HasSubstr("No plot current."));
    EXPECT_TRUE(rec.events.empty());
    s.draw.picture_drawn = true;
    s.draw.last_device = 'Q';
    s.draw.old_xmin = 500; // Cr to Fe
    s.draw.old_xmax = 680;
    s.draw.old_ymin = 0;
    s.draw.old_ymax = 8000;
    EXPECT_THAT(run("PEAKS"), HasSubstr("Search region: the plot window, X = 500.000 to 680.000, 181 points."));
    ASSERT_EQ(s.peaks.peaks.size(), 3u);
    EXPECT_THAT(run("PEAKS/M"), HasSubstr("3 peaks marked on the last picture."));
    auto ticks = [&] {
        std::vector<float> x;
        const auto v = rec.vectors();
        for (std::size_t i = 1; i < v.size(); ++i)
            if (v[i - 1].pen == 3 && v[i].pen == 2 && v[i - 1].x == v[i].x && v[i].y > v[i - 1].y) x.push_back(v[i].x);
        return x;
    };
    auto ticks_at_peaks = [&](const std::vector<float>& x) {
        for (const FoundPeak& p : s.peaks.peaks)
            EXPECT_EQ(std::count(x.begin(), x.end(), static_cast<float>(p.x)), 1) << p.x;
    };
    ticks_at_peaks(ticks());
    EXPECT_EQ(rec.count(RecordedEvent::End), 1);
    // Named: "CR Ka" is wider than "1", so the labels draw more strokes.
    const std::size_t numbered = rec.vectors().size();
    rec.clear();
    EXPECT_THAT(run("PEAKS/I"), HasSubstr(": CR Ka"));
    run("PEAKS/M");
    ticks_at_peaks(ticks());
    EXPECT_GT(rec.vectors().size(), numbered);
}

} // namespace
} // namespace tarva
