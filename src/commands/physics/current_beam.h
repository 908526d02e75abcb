// The beam of the current spectrum, read from the session's data set.
#pragma once

#include "physics/beam.h"

namespace tarva {

struct Session;

// Reads the beam from the experimental parameters; a missing energy or mass
// is reported and replaced by 2 MeV and 4.0026 u.
Beam current_beam(Session& s);

} // namespace tarva
