// Peak search in a spectrum of counts: the smoothed second difference.
//
// The counts are convolved with the second difference of a sampled
// Gaussian (negated, so that a peak gives a positive response). The kernel
// sums to zero and is symmetric, so a constant or straight background
// gives no response at all. The variance of the response follows from the
// variances of the counts (SIGMA squared) through the squared kernel, and a
// point whose response stands `threshold` standard deviations above zero
// at a local maximum is a peak. This is the method of Mariscotti (Nucl.
// Instr. Meth. 50 (1967) 309) with a Gaussian smoothing in place of his
// repeated running sums, run with the expected peak width and with one and
// a half times it.
//
// The search works on the points of a data set in order (the point index
// is the channel axis); X converts positions and widths for the report.
#pragma once

#include <span>
#include <vector>

namespace tarva {

// A FWHM of this many points in a Gaussian's standard deviation.
inline constexpr double kFwhmPerSigma = 2.3548200450309493;
// Area of a Gaussian of height 1 and FWHM 1: sqrt(pi / (4 ln 2)).
inline constexpr double kGaussianAreaFactor = 1.0644670194312262;

inline constexpr double kDefaultPeakThreshold = 5.0;

struct PeakSearchOptions {
    double threshold = kDefaultPeakThreshold; // significance, in standard deviations
    double fwhm_points = 0.0;                 // expected FWHM in points; 0: estimated from the spectrum
};

struct FoundPeak {
    double position = 0.0;     // fractional point index (0-based) of the centre
    double x = 0.0;            // the centre in X units
    double fwhm_points = 0.0;  // full width at half maximum in points
    double fwhm_x = 0.0;       // the same in X units
    double height = 0.0;       // above the local (straight) background
    double area = 0.0;         // net area as the sum over the points: height x FWHM x 1.0645
    double significance = 0.0; // response over its standard deviation
};

enum class PeakSearchStatus {
    Done,           // the peaks (perhaps none) are in the result
    TooFewPoints,   // fewer than kMinimumSearchPoints points in the region
    AllZero,        // every count of the region is zero
    NegativeCounts, // a count of the region is negative
};

inline constexpr int kMinimumSearchPoints = 5;

struct PeakSearchResult {
    PeakSearchStatus status = PeakSearchStatus::Done;
    std::vector<FoundPeak> peaks; // ascending position
    double fwhm_points = 0.0;     // the expected width the search used
    bool width_estimated = false; // it came from the spectrum, not from the options
    // Standard deviation of the height of a peak of the expected width
    // centred at each point of the data, the smaller of the two kernels'
    // (0 where neither fits, near the ends of the data): what a peak needs
    // there to be found is threshold times this.
    std::vector<double> height_noise;
};

// Searches the points first..last (0-based, inclusive) of the data for
// peaks. The kernel may reach beyond the region into the rest of the data;
// peaks are reported only inside it. `sigma` gives each count's standard
// deviation; where it is not positive the count itself (at least 1) is its
// variance.
PeakSearchResult find_peaks(std::span<const float> x, std::span<const float> y, std::span<const float> sigma, int first,
                            int last, const PeakSearchOptions& options = {});

// X at a fractional point index (linear between points, the end steps
// extended beyond the data).
double x_at(std::span<const float> x, double position);

// The local step of X at a fractional point index (positive).
double x_step_at(std::span<const float> x, double position);

} // namespace tarva
