// MASS's scale of target masses over an energy spectrum: each mass stands
// where particles scattered from it at the surface arrive, K(M1, M, theta) E0.
#pragma once

#include <vector>

#include "physics/beam.h"

namespace tarva {

struct Session;

// The X of a target mass on a plot in keV (log10 of it when the X axis holds
// logarithms); false when the mass does not backscatter the beam.
bool mass_position(const Beam& beam, double mass, bool log_x, float& x);

struct MassTick {
    int mass;
    float x;
    float length; // plot units: 1, 1.5 for multiples of 5, 2 when labelled
    bool labelled;
};

// Ticks of the all-masses scale for the masses start..end whose X lies in
// [xlo, xhi]. A multiple of 5 is labelled when its X is at least `gap`
// from the last label; after one was refused only multiples of 10 are
// labelled until a label stands twice that far from the one before.
std::vector<MassTick> mass_ticks(const Beam& beam, int start, int end, float xlo, float xhi, float gap, bool log_x);

// Draws the scale (all-masses or individual mode) on the last picture.
void draw_mass_scale(Session& s, const Beam& beam);

} // namespace tarva
