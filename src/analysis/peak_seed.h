// Starting values for a fit of a straight line plus Gaussians (function 18)
// from the peaks a search found.
#pragma once

#include <span>
#include <vector>

#include "analysis/peak_search.h"

namespace tarva {

// Function 18 takes at most this many Gaussians.
inline constexpr int kMaxSeedPeaks = 16;

struct LinePlusGaussians {
    // Intercept, slope, then height, centre and FWHM (X units) of each
    // Gaussian in ascending centre: 2 + 3 x peaks values.
    std::vector<double> params;
    int peaks = 0;
    // Indices (into the peaks given) of those left out, weakest first
    // removed: when more than kMaxSeedPeaks were given.
    std::vector<int> left_out;
};

// The line runs through the mean of the first and the mean of the last
// points of the region first..last (as many at each end as the FWHM in
// points, at least one, at most a quarter of the region); the Gaussians are
// the strongest (highest) max_peaks of the peaks.
LinePlusGaussians seed_line_plus_gaussians(std::span<const float> x, std::span<const float> y, int first, int last,
                                           std::span<const FoundPeak> peaks, double fwhm_points,
                                           int max_peaks = kMaxSeedPeaks);

} // namespace tarva
