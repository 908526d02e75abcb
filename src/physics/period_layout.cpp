#include "physics/period_layout.h"

#include "physics/element_table.h"
#include "physics/kinematics.h"
#include "text/format.h"

namespace tarva {

CellPlace cell_place(int z) {
    if (z == 1) return {1, 1};
    if (z == 2) return {18, 1};
    if (z <= 10) return {z <= 4 ? z - 2 : z + 8, 2};
    if (z <= 18) return {z <= 12 ? z - 10 : z, 3};
    if (z <= 36) return {z - 18, 4};
    if (z <= 54) return {z - 36, 5};
    if (z <= 57) return {z - 54, 6};
    if (z <= 71) return {z - 54, 8.5f}; // Ce (58) under group 4
    if (z <= 86) return {z - 68, 6};
    if (z <= 89) return {z - 86, 7};
    return {z - 86, 9.5f}; // Th (90) under group 4
}

std::string extra_quantity_text(PeriodExtra extra, const Beam& beam, int z) {
    const double m2 = atomic_weight(z);
    const double k = kinematic_factor(beam.mass, m2, beam.angle);
    if (!(k > 1e-10)) return "";
    switch (extra) {
    case PeriodExtra::CrossSection:
        return format_G(rutherford_cross_section(beam.energy_kev, beam.angle, beam.mass, beam.z, m2, z), 10, 3, 1);
    case PeriodExtra::KinematicFactor: return format_F(k, 6, 4);
    case PeriodExtra::SurfaceEnergy: return format_F(k * beam.energy_kev, 8, 2);
    case PeriodExtra::XRay:
    case PeriodExtra::None: break;
    }
    return "";
}

std::string principal_line_text(const XrayDatabase& db, int z, char family) {
    const std::string order = family == 'M' ? "MLK" : family == 'L' ? "LKM" : "KLM";
    const std::string symbol = upper(element_symbol(z));
    for (char f : order) {
        const std::string name = symbol + " " + f;
        for (const XraySet& set : db.sets) {
            if (!(set.name == name) || set.count < 1) continue;
            const float e = set.energy[0];
            return std::string(1, f) + " " + std::string(trim(format_F(e, 6, e < 10.0f ? 4 : e < 100.0f ? 3 : 2)));
        }
    }
    return "";
}

std::string extra_caption(PeriodExtra extra) {
    switch (extra) {
    case PeriodExtra::CrossSection: return "Rutherford Scattering Cross Section (Barns/str)";
    case PeriodExtra::KinematicFactor: return "Kinematic Factor";
    case PeriodExtra::SurfaceEnergy: return "Surface Energy (keV)";
    case PeriodExtra::XRay: return "Principal K, L or M X-Ray Lines (keV)";
    case PeriodExtra::None: break;
    }
    return "";
}

std::string beam_statement(const Beam& beam) {
    return "for " + format_F(beam.energy_kev / 1000.0, 4, 2) + " MeV " + beam.symbol + " at " +
           format_F(beam.angle, 6, 2) + " degrees";
}

} // namespace tarva
