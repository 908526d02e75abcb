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
    void load(unsigned seed, std::vector<testing_support::SyntheticPeak> extra = {}) {
        auto peaks = testing_support::xray_line_peaks(db, elements, kKevPerChannel, 0.150);
        peaks.insert(peaks.end(), extra.begin(), extra.end());
        synthetic_spectrum(1024, 20.0, -0.005, peaks, seed).into(s.data);
        s.data.x_label = "Channel";
        s.data.experiment.energy_per_channel() = static_cast<float>(kKevPerChannel);
        s.data.experiment.energy_offset() = 0.0f;
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
    for (unsigned seed = 1; seed <= 3; ++seed) {
        load(seed);
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

} // namespace
} // namespace tarva
