// The energy axis of a data set: whether its X values are energies, or
// channels that the experimental parameters calibrate, or neither.
#pragma once

#include <span>

#include "dataset/data_set.h"

namespace tarva {

struct EnergyScale {
    enum class Kind {
        None,   // no calibration is known
        Energy, // X is an energy (keV, or eV when the label says so)
        Linear, // X is a channel: energy = slope * X + offset (keV)
    };
    Kind kind = Kind::None;
    double slope = 1.0;  // keV per X unit
    double offset = 0.0; // keV

    bool known() const { return kind != Kind::None; }
    double energy(double x) const { return slope * x + offset; }
    double x_of(double energy) const { return (energy - offset) / slope; }
    double width(double x_width) const { return x_width * (slope < 0.0 ? -slope : slope); }
};

// X is energy when its label says keV (or eV); otherwise a calibration in
// the experimental parameters (energy per channel not 1 or an offset not 0,
// as MCA/N, MCA/I and BUMP's G key leave them) makes X channels of that
// calibration. BUMP/G and MCA turn calibrated X into keV and label it, so
// the label is asked first and a calibration is never applied twice.
EnergyScale energy_scale(const DataSet& d);

// The point whose X is nearest to `x` (X in either order); -1 without points.
int nearest_point(std::span<const float> xs, double x);

} // namespace tarva
