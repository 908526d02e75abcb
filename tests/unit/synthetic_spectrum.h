// The test kit's synthetic spectra: a straight background, Gaussian peaks
// of known centre, height and FWHM, and Poisson counts from a fixed seed.
// X is the channel (1, 2, ...); SIGMA the square root of the count (1 for
// counts below 1), as the spectrum readers set it.
#pragma once

#include <cmath>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "dataset/data_set.h"
#include "physics/xray_lines.h"

namespace tarva::testing_support {

struct SyntheticPeak {
    double centre, height, fwhm; // channels, counts, channels
};

struct SyntheticSpectrum {
    std::vector<float> x, y, sigma;
    std::vector<double> mean; // the expected counts before the noise

    void into(DataSet& d) const {
        for (std::size_t i = 0; i < x.size(); ++i) {
            d.X[i] = x[i];
            d.Y[i] = y[i];
            d.SIGMA[i] = sigma[i];
        }
        d.count = static_cast<int>(x.size());
    }
};

inline SyntheticSpectrum synthetic_spectrum(int channels, double background, double slope,
                                            const std::vector<SyntheticPeak>& peaks, unsigned seed) {
    SyntheticSpectrum s;
    std::mt19937 rng(seed);
    for (int i = 1; i <= channels; ++i) {
        double m = background + slope * i;
        for (const SyntheticPeak& p : peaks) {
            const double u = (i - p.centre) / p.fwhm;
            m += p.height * std::exp(-4.0 * std::log(2.0) * u * u);
        }
        std::poisson_distribution<long> counts(m);
        const auto c = static_cast<float>(counts(rng));
        s.x.push_back(static_cast<float>(i));
        s.y.push_back(c);
        s.sigma.push_back(std::sqrt(std::max(c, 1.0f)));
        s.mean.push_back(m);
    }
    return s;
}

// The lines of database sets as peaks on a channel axis of `kev_per_channel`
// (channel 0 at 0 keV), each set's lines at its heights times the line's
// relative intensity, all of one FWHM (keV).
inline std::vector<SyntheticPeak> xray_line_peaks(const XrayDatabase& db,
                                                  const std::vector<std::pair<std::string, double>>& sets,
                                                  double kev_per_channel, double fwhm_kev) {
    std::vector<SyntheticPeak> peaks;
    for (const auto& [name, height] : sets)
        for (const XraySet& set : db.sets)
            if (set.name == name)
                for (int l = 0; l < set.count; ++l)
                    peaks.push_back({set.energy[static_cast<std::size_t>(l)] / kev_per_channel,
                                     height * set.intensity[static_cast<std::size_t>(l)], fwhm_kev / kev_per_channel});
    return peaks;
}

} // namespace tarva::testing_support
