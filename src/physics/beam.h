// The beam of a spectrum as PERIOD and MASS use it.
#pragma once

#include <string>

namespace tarva {

struct Beam {
    double energy_kev;  // E0
    double mass;        // M1 in u
    int z;              // Z1 of the element nearest in weight (0 when none)
    std::string symbol; // its symbol, trimmed
    double angle;       // scattering angle in degrees
};

} // namespace tarva
