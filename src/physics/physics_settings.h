// Settings and state of PERIOD, MASS, XRAY and BUMP kept between commands.
#pragma once

#include <array>

#include "physics/calibration.h"
#include "physics/xray_lines.h"
#include "text/fixed_text.h"

namespace tarva {

// The quantity PERIOD writes under each element.
enum class PeriodExtra { None, CrossSection, SurfaceEnergy, KinematicFactor, XRay };

struct PeriodSettings {
    bool mass_numbers = true; // atomic weight in each cell
    bool key_cell = true;     // the explaining key cell
    PeriodExtra extra = PeriodExtra::None;
    char xray_family = 'K'; // K, L or M lines first in X-ray mode
};

inline constexpr int kMaxLabelledElements = 10;

struct MassScaleSettings {
    bool individual = false;        // only the labelled elements are marked
    bool arrows_above_data = false; // pointers stand on the data (MASS J)
    double pointer_y = 0.0;         // height of the pointers; 0 = under the top of the frame
    FixedText<20> pointer{"^0^i__^s^vT^r"};
    std::array<int, kMaxLabelledElements> elements{}; // Z of the labelled elements
    int element_count = 0;
    float number_size = 1.0f; // size of the mass numbers
    int start = 1;            // mass range of the scale
    int end = 230;
};

// How XRAY draws line markers.
struct XraySettings {
    int max_lines = 0;        // lines drawn per set; 0 = all
    double threshold = 0.0;   // lines of lower relative intensity are left out
    double height = 0.0;      // marker height for intensity 1 in Y units; 0 = automatic
    bool upside_down = false; // markers hang from the top of the box
    char symbol_end = 'C';    // the set's name stands over the left end, right end or centre
};

struct PhysicsSettings {
    PeriodSettings period;
    MassScaleSettings mass;
    XraySettings xray;
    XrayDatabase lines;          // loaded on first use
    CalibrationList calibration; // BUMP's known peaks
};

} // namespace tarva
