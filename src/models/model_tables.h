// Tables that the interpolating model functions read: the cubic-spline
// coefficients computed by SPLINE.
#pragma once

#include <array>

namespace tarva {

inline constexpr int kSplineEntries = 1060; // per coefficient array
inline constexpr int kSplineColumn = 106;   // entries per spline set
inline constexpr int kSplineSets = 10;

// One spline set: the data points it spans (1-based, first and last).
struct SplineSlot {
    int first = 0;
    int last = 0;
};

// Coefficient arrays a, b, c, d. Entry e (1-based, stored at e - 1) is the
// cubic a + b*t + c*t^2 + d*t^3, t = x - X(i), on the interval from data
// point i onward. Set s starts at entry 106*(s - 1) + 1.
struct ModelTables {
    std::array<float, kSplineEntries> a{};
    std::array<float, kSplineEntries> b{};
    std::array<float, kSplineEntries> c{};
    std::array<float, kSplineEntries> d{};
    std::array<SplineSlot, kSplineSets> slots{};
};

} // namespace tarva
