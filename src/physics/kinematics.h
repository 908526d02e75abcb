// Elastic scattering of a beam particle (mass M1, charge Z1) from a target
// atom (M2, Z2): kinematic factor, the target mass behind a kinematic factor,
// and the Rutherford cross section in the laboratory frame.
#pragma once

namespace tarva {

class OutputSink;

inline constexpr float kDegreesToRadians = 0.017453292f;
inline constexpr float kPi = 3.1415927f;
// (e^2)^2 in barn keV^2.
inline constexpr float kRutherfordConstant = 20730.0234f;

// Energy after scattering over energy before, at theta degrees. 0 when the
// target is not heavier than the beam (no backscattering) or has no mass.
double kinematic_factor(double m1, double m2, double theta_deg);

// The target mass that gives kinematic factor k. k above 0.999999 or below
// 1e-10 is reported on `out` and gives 0.
double target_mass(OutputSink& out, double m1, double k, double theta_deg);

// Rutherford cross section in barn per steradian for a beam of e_kev.
// 1e10 at zero energy or zero angle; 0 where the target cannot scatter the
// beam to that angle (M1 sin(theta) >= M2, or backwards from a target not
// heavier than the beam).
double rutherford_cross_section(double e_kev, double theta_deg, double m1, int z1, double m2, int z2);

} // namespace tarva
