// The beam of the current spectrum as PERIOD and MASS use it.
#pragma once

#include <string>

namespace tarva {

struct Session;

struct Beam {
    double energy_kev; // E0
    double mass;       // M1 in u
    int z;             // Z1 of the element nearest in weight (0 when none)
    std::string symbol; // its symbol, trimmed
    double angle;      // scattering angle in degrees
};

// Reads the beam from the experimental parameters; a missing energy or mass
// is reported and replaced by 2 MeV and 4.0026 u.
Beam current_beam(Session& s);

} // namespace tarva
