// Scattering kinematics against closed forms: the kinematic factor from
// momentum conservation, its inverse, and the Rutherford cross section
// against its heavy-target limit.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "io/output_sink.h"
#include "physics/kinematics.h"

namespace tarva {
namespace {

constexpr double kHe = 4.0026, kC = 12.0112, kSi = 28.086, kAu = 196.967, kH = 1.008;

double radians(double deg) { return deg * kDegreesToRadians; }

// E1/E0 from momentum and energy conservation written for the target mass:
// ((M1 cos + sqrt(M2^2 - M1^2 sin^2)) / (M1 + M2))^2.
double momentum_form(double m1, double m2, double deg) {
    const double c = std::cos(radians(deg)), s = std::sin(radians(deg));
    const double v = (m1 * c + std::sqrt(m2 * m2 - m1 * m1 * s * s)) / (m1 + m2);
    return v * v;
}

TEST(KinematicFactor, ClosedForms) {
    // Head-on: ((M2 - M1) / (M2 + M1))^2; He on C is about a quarter.
    const double r = kHe / kC;
    EXPECT_NEAR(kinematic_factor(kHe, kC, 180.0), std::pow((r - 1.0) / (1.0 + r), 2), 1e-12);
    EXPECT_NEAR(kinematic_factor(kHe, kC, 180.0), 0.25, 0.001);
    EXPECT_NEAR(kinematic_factor(kH, kAu, 180.0), std::pow((kAu - kH) / (kAu + kH), 2), 1e-12);
    // At 90 degrees: (M2 - M1) / (M2 + M1).
    EXPECT_NEAR(kinematic_factor(kHe, kSi, 90.0), (kSi - kHe) / (kSi + kHe), 1e-7);
    // 4He on Si at 170 degrees, the usual RBS geometry (0.566 in the tables).
    EXPECT_NEAR(kinematic_factor(kHe, kSi, 170.0), momentum_form(kHe, kSi, 170.0), 1e-12);
    EXPECT_NEAR(kinematic_factor(kHe, kSi, 170.0), 0.5657, 1e-4);
    for (double deg : {10.0, 45.0, 120.0, 165.0})
        EXPECT_NEAR(kinematic_factor(kH, kAu, deg), momentum_form(kH, kAu, deg), 1e-12) << deg;
    // Straight through nothing is lost.
    EXPECT_NEAR(kinematic_factor(kHe, kAu, 0.0), 1.0, 1e-12);
}

TEST(KinematicFactor, NoBackscatteringFromLightTargets) {
    EXPECT_EQ(kinematic_factor(kHe, kHe, 170.0), 0.0);
    EXPECT_EQ(kinematic_factor(kHe, kH, 30.0), 0.0);
    EXPECT_EQ(kinematic_factor(-5.0, 0.0, 170.0), 0.0);
    EXPECT_EQ(kinematic_factor(-5.0, -1.0, 170.0), 0.0);
}

TEST(TargetMass, InvertsTheKinematicFactor) {
    std::ostringstream text;
    OutputSink out(text);
    for (double m2 : {kC, kSi, 63.546, kAu})
        for (double deg : {90.0, 135.0, 170.0})
            EXPECT_NEAR(target_mass(out, kHe, kinematic_factor(kHe, m2, deg), deg), m2, 1e-6 * m2) << m2 << " " << deg;
    EXPECT_EQ(text.str(), "");
    EXPECT_EQ(target_mass(out, kHe, 0.9999995, 170.0), 0.0);
    EXPECT_EQ(target_mass(out, kHe, 0.0, 170.0), 0.0);
    EXPECT_EQ(text.str(), " Unknown mass unreasonably heavy.\a\n Unknown mass unreasonably light.\a\n");
}

TEST(RutherfordCrossSection, HeavyTargetLimit) {
    // Far heavier than the beam the laboratory cross section is the
    // centre-of-mass one: (Z1 Z2 e^2 / 4E)^2 / sin^4(theta/2).
    for (double deg : {30.0, 90.0, 150.0, 170.0, 180.0}) {
        const double a = 2.0 * 79.0 / (4.0 * 2000.0);
        const double expected = a * a * kRutherfordConstant / std::pow(std::sin(radians(deg) / 2.0), 4);
        EXPECT_NEAR(rutherford_cross_section(2000.0, deg, kHe, 2, 1e9, 79), expected, 1e-6 * expected) << deg;
    }
    // He on Au at 2 MeV and 170 degrees: 20730 (158/8000)^2 / sin^4(85) is
    // 8.21 b/sr, and the recoil of gold takes off a little.
    const double au = rutherford_cross_section(2000.0, 170.0, kHe, 2, kAu, 79);
    EXPECT_LT(au, 8.21);
    EXPECT_GT(au, 8.15);
    // 1/E^2 and (Z1 Z2)^2.
    EXPECT_NEAR(rutherford_cross_section(1000.0, 170.0, kHe, 2, kAu, 79), 4.0 * au, 1e-9 * au);
    EXPECT_NEAR(rutherford_cross_section(2000.0, 170.0, kHe, 4, kAu, 79), 4.0 * au, 1e-9 * au);
}

TEST(RutherfordCrossSection, AgreesWithTheDirectFormAndIsSteadyAt180) {
    // The direct form (Z1 Z2/4E)^2 C (4/s^4)(cos + g)^2/g where it is well
    // conditioned.
    const double m1 = kHe, m2 = kSi, e = 1500.0;
    for (double deg : {20.0, 60.0, 100.0, 140.0}) {
        const double s = std::sin(radians(deg)), c = std::cos(radians(deg));
        const double g = std::sqrt(1.0 - std::pow(s * m1 / m2, 2));
        const double direct =
            std::pow(2.0 * 14.0 / (4.0 * e), 2) * kRutherfordConstant * 4.0 / std::pow(s, 4) * std::pow(c + g, 2) / g;
        EXPECT_NEAR(rutherford_cross_section(e, deg, m1, 2, m2, 14), direct, 1e-9 * direct) << deg;
    }
    // Towards 180 degrees the value settles smoothly.
    const double at179 = rutherford_cross_section(e, 179.9, m1, 2, m2, 14);
    const double at180 = rutherford_cross_section(e, 180.0, m1, 2, m2, 14);
    EXPECT_NEAR(at180, at179, 1e-5 * at179);
}

TEST(RutherfordCrossSection, Guards) {
    EXPECT_EQ(rutherford_cross_section(0.0, 170.0, kHe, 2, kAu, 79), 1e10);
    EXPECT_EQ(rutherford_cross_section(5e-11, 170.0, kHe, 2, kAu, 79), 1e10);
    EXPECT_EQ(rutherford_cross_section(2000.0, 0.0, kHe, 2, kAu, 79), 1e10);
    // A target lighter than the beam cannot scatter it backwards.
    EXPECT_EQ(rutherford_cross_section(2000.0, 170.0, kHe, 2, kH, 1), 0.0);
    EXPECT_EQ(rutherford_cross_section(2000.0, 100.0, kHe, 2, kHe, 2), 0.0);
    EXPECT_EQ(rutherford_cross_section(2000.0, 60.0, kHe, 2, kH, 1), 0.0);
    EXPECT_TRUE(std::isfinite(rutherford_cross_section(2000.0, 10.0, kHe, 2, kH, 1)));
    EXPECT_EQ(rutherford_cross_section(2000.0, 170.0, kHe, 2, 0.0, 1), 0.0);
}

} // namespace
} // namespace tarva
