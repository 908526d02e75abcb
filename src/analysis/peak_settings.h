// What PEAKS keeps between commands: its settings and the last peaks found.
#pragma once

#include <string>
#include <vector>

#include "analysis/peak_search.h"

namespace tarva {

struct PeakSettings {
    double threshold = kDefaultPeakThreshold; // PEAKS n
    double fwhm = 0.0;                        // PEAKS/W, X units; 0: estimated from the spectrum

    // The last search.
    bool searched = false;
    std::vector<FoundPeak> peaks;
    double fwhm_points = 0.0; // the expected width it used
    // PEAKS/S came after it: the peaks of function 18 are the newer ones.
    bool seeded = false;

    // The names PEAKS/I gave the peaks it identified, for PEAKS/M, and the
    // centres they belong to (a later search or fit makes them stale).
    std::vector<std::string> names;
    std::vector<double> named_centres;
};

} // namespace tarva
