#include "physics/kinematics.h"

#include <cmath>

#include "io/output_sink.h"

namespace tarva {

double kinematic_factor(double m1, double m2, double theta_deg) {
    if (m2 <= m1 || m2 <= 0.0) return 0.0;
    const double r = m1 / m2;
    const double theta = theta_deg * kDegreesToRadians;
    const double s = std::sin(theta);
    const double k = (r * std::cos(theta) + std::sqrt(1.0 - r * r * s * s)) / (1.0 + r);
    return k * k;
}

double target_mass(OutputSink& out, double m1, double k, double theta_deg) {
    if (k > 0.999999) {
        out.line("Unknown mass unreasonably heavy.\x07");
        return 0.0;
    }
    if (k < 1e-10) {
        out.line("Unknown mass unreasonably light.\x07");
        return 0.0;
    }
    const double theta = theta_deg * kDegreesToRadians;
    return m1 * ((1.0 + k) - 2.0 * std::sqrt(k) * std::cos(theta)) / (1.0 - k);
}

double rutherford_cross_section(double e_kev, double theta_deg, double m1, int z1, double m2, int z2) {
    if (e_kev < 1e-10) return 1e10;
    if (m2 <= 0.0) return 0.0;
    const double theta = theta_deg * kDegreesToRadians;
    const double s = std::sin(theta);
    const double c = std::cos(theta);
    const double r = m1 / m2;
    const double g2 = 1.0 - (s * r) * (s * r);
    if (g2 <= 0.0) return 0.0; // a lighter target cannot send the beam this far
    const double g = std::sqrt(g2);
    const double a = z1 * z2 / (4.0 * e_kev);
    double angular = 0.0; // (cos + g)^2 / s^4
    if (c < 0.0) {
        // Backwards cos + g and sin both vanish towards 180 degrees; the
        // same value as (1 - r^2)^2 / (g - cos)^2 has no cancellation.
        const double q = 1.0 - r * r;
        if (q <= 0.0) return 0.0; // a target not heavier than the beam sends nothing backwards
        angular = q * q / ((g - c) * (g - c));
    } else {
        if (std::fabs(s) < 1e-10) return 1e10; // the forward pole
        angular = (c + g) * (c + g) / (s * s * s * s);
    }
    return a * a * kRutherfordConstant * 4.0 * angular / g;
}

} // namespace tarva
