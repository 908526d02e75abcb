#include "commands/physics/current_beam.h"

#include "physics/element_table.h"
#include "session/session.h"

namespace tarva {

Beam current_beam(Session& s) {
    ExperimentalParameters& e = s.data.experiment;
    Beam b{};
    b.energy_kev = static_cast<double>(e.beam_energy()) * 1000.0;
    if (b.energy_kev <= 0.0) {
        s.out().line("\x07Zero beam energy, 2 MeV assumed.");
        b.energy_kev = 2000.0;
    }
    b.mass = e.beam_mass();
    if (b.mass <= 1e-10) {
        s.out().line("\x07Zero beam particle mass, 4.0026 amu assumed.");
        b.mass = 4.0026;
    }
    FixedText<2> symbol{"##"};
    float weight = static_cast<float>(b.mass);
    element_lookup(s.out(), symbol, b.z, weight);
    b.symbol = std::string(symbol.trimmed());
    b.angle = e.scattering_angle();
    return b;
}

} // namespace tarva
