// Naming the peaks of an X-ray spectrum: the lines of the database near
// each peak, the elements whose line patterns explain the peaks, and the
// escape and sum peaks of strong lines.
//
// The lines of a set that the detector cannot separate (K alpha 1 and 2,
// say) are taken together as one group at their intensity-weighted energy.
// Peaks much weaker than another peak 1.740 keV above them, or at twice
// its energy, are its escape and sum peaks. The other peaks are explained
// from the highest down: for the highest peak with a large part not yet
// explained, every set whose strongest group lies within half the peak's
// FWHM (or another strong group, when the strongest stands on a peak of
// its own) is weighed by how close it lies, by its family (K before L
// before M) and by its other groups, each predicted at the set's intensity
// ratio: a group that lands on a peak of about its height counts for the
// set; one landing on a much higher peak's unexplained part counts a
// little; one that should stand out clearly where there is no peak, one
// far too high for the peak it lands on, or a strong one inside the same
// peak (which would widen it) counts against it; one hidden in a higher
// neighbour's flank counts neither way. The best set explains its share of
// every peak its groups reach, and the next peak is taken. An element's
// evidence is the significance of the peaks it explains, each weighted by
// the share explained: its strongest line counts, its companion lines
// found at their energies and intensity ratios count more.
#pragma once

#include <functional>
#include <span>
#include <string>
#include <vector>

#include "physics/xray_lines.h"

namespace tarva {

// A silicon detector's escape peak stands this far (Si K alpha, keV) below
// its parent line.
inline constexpr double kSiliconEscapeEnergy = 1.740;

struct XrayPeak {
    double energy = 0.0;       // centre, keV
    double fwhm = 0.0;         // keV
    double height = 0.0;       // above the background
    double significance = 0.0; // height over its standard deviation
};

// The height a peak at an energy (keV) must have to be found; 0 or less
// where no peak could be found (outside the data searched).
using DetectionLimit = std::function<double(double)>;

// Lines of one set that the detector does not separate.
struct LineGroup {
    int set = -1;           // index into the database's sets
    double energy = 0.0;    // intensity-weighted, keV
    double intensity = 0.0; // relative to the set's strongest group
    std::string label;      // "Ka", "Kb"; "La", "Lb", "Lg", "Ll"; "Ma", ...
};

struct LineMatch {
    LineGroup line;
    double difference_ev = 0.0; // line energy - peak energy
};

enum class PeakOrigin {
    Unknown, // no line of the database explains it
    Line,    // an X-ray line of an element
    Escape,  // the escape peak of a strong peak
    Sum,     // the sum peak of a strong peak (two photons at once)
};

struct PeakIdentity {
    PeakOrigin origin = PeakOrigin::Unknown;
    int set = -1;                 // Line: the set giving the largest part of the peak
    std::string label;            // Line: that set's group at the peak
    int parent = -1;              // Escape, Sum: index of the parent peak
    std::vector<LineMatch> lines; // lines within the peak's FWHM, best first
};

struct ElementEvidence {
    int z = 0;
    std::string symbol;             // upper case, as the set names have it ("FE")
    std::vector<int> sets;          // its families found
    std::vector<std::string> lines; // the line groups found at peaks ("Ka", "Kb")
    std::vector<int> peaks;         // the peaks it explains a part of
    double evidence = 0.0;          // sum over those peaks of significance x share explained
};

struct XrayIdentification {
    std::vector<PeakIdentity> peaks;       // one per peak given, in their order
    std::vector<ElementEvidence> elements; // by evidence, strongest first
};

// The line groups of a set at a detector resolution (FWHM, keV, as a
// function of energy), strongest group first.
std::vector<LineGroup> line_groups(const XrayDatabase& db, int set, const std::function<double(double)>& resolution);

// Identifies the peaks with the first kXraySearchSets sets of the database
// (the K, L and M lines of the elements). `limit` tells how high a missing
// line would have had to be to be found.
XrayIdentification identify_xray_peaks(const XrayDatabase& db, std::span<const XrayPeak> peaks,
                                       const DetectionLimit& limit, double escape_energy = kSiliconEscapeEnergy);

} // namespace tarva
