// Energy calibration of a spectrum from known peaks: the list of peaks
// entered at their channels, their expected energies (surface energies for
// RBS, X-ray lines for PIXE/XRF), the straight-line fit of energy against
// channel, the calibration report and the scan over scattering angles.
#pragma once

#include <array>
#include <string_view>
#include <vector>

#include "physics/beam.h"
#include "physics/xray_lines.h"
#include "text/fixed_text.h"

namespace tarva {

class OutputSink;

inline constexpr int kMaxCalibrationPeaks = 10;
// A peak further from the fitted line than this refuses the calibration.
inline constexpr double kRbsTolerance = 20.0; // keV
inline constexpr double kXrayTolerance = 0.2; // keV

struct CalibrationPeak {
    FixedText<4> name; // element symbol (RBS) or line set name (X-ray)
    int z = 0;
    double channel = 0.0;
};

struct CalibrationList {
    std::array<CalibrationPeak, kMaxCalibrationPeaks> peak{};
    int count = 0;
};

// Adds a peak at a channel. A blank name lists the peaks instead. The name is
// upper-cased and aligned ("C L" is the set "C  L"); for X-ray spectra
// (kind 'X') a name without a family gets K. An entry of the same name is
// reused. A name that is no element is refused ("Not an element name!").
// False when nothing was added.
bool add_calibration_peak(OutputSink& out, CalibrationList& list, std::string_view typed, double channel, char kind);

// The energy (keV) each peak should have: K(M1, M2, angle) E0 for RBS, the
// first line of the named set for X-ray spectra.
std::vector<double> expected_energies(OutputSink& out, XrayDatabase& db, const CalibrationList& list, char kind,
                                      const Beam& beam, double angle);

// Straight line y = slope x + intercept through the points, with the
// standard errors and the residual sum of squares (sums in single
// precision). `usable` is false for fewer than two points or a vertical
// line (all x equal); the reasons are printed when `out` is given.
struct LineFit {
    double slope = 0.0, intercept = 0.0;
    double slope_error = 0.0, intercept_error = 0.0;
    double residual = 0.0;
    bool usable = false;
};
LineFit line_fit(OutputSink* out, const std::vector<double>& x, const std::vector<double>& y);

// Fits the peaks, prints the calibration report and checks every peak
// against the tolerance of the spectrum kind. `apply` is true only when the
// fit is usable and every peak lies within the tolerance; otherwise the
// refusal has been printed.
struct Calibration {
    LineFit fit;
    bool apply = false;
};
Calibration calibrate(OutputSink& out, XrayDatabase& db, const CalibrationList& list, char kind, const Beam& beam);

// RBS: the calibration at the spectrum's angle -5..+5 degrees, one row each
// with the mean absolute deviation of the peaks.
void angle_scan(OutputSink& out, XrayDatabase& db, const CalibrationList& list, const Beam& beam);

} // namespace tarva
