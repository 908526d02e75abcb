#include "analysis/energy_scale.h"

#include <cmath>
#include <string>

namespace tarva {

EnergyScale energy_scale(const DataSet& d) {
    EnergyScale e;
    std::string label(d.x_label.view());
    for (char& c : label) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    if (label.find("KEV") != std::string::npos) {
        e.kind = EnergyScale::Kind::Energy;
        return e;
    }
    if (label.find("(EV)") != std::string::npos || label.find(" EV") != std::string::npos) {
        e.kind = EnergyScale::Kind::Energy;
        e.slope = 0.001;
        return e;
    }
    ExperimentalParameters p = d.experiment;
    const double slope = p.energy_per_channel(), offset = p.energy_offset();
    if (std::isfinite(slope) && std::isfinite(offset) && slope != 0.0 &&
        (std::fabs(slope - 1.0) >= 1e-10 || std::fabs(offset) >= 1e-10)) {
        e.kind = EnergyScale::Kind::Linear;
        e.slope = slope;
        e.offset = offset;
    }
    return e;
}

int nearest_point(std::span<const float> xs, double x) {
    int best = -1;
    double distance = 0.0;
    for (std::size_t i = 0; i < xs.size(); ++i) {
        const double dd = std::fabs(xs[i] - x);
        if (best < 0 || dd < distance) {
            best = static_cast<int>(i);
            distance = dd;
        }
    }
    return best;
}

} // namespace tarva
