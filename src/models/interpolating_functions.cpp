// Functions that follow the data set: straight lines between the points
// and the cubic spline computed by SPLINE.
#include <cmath>

#include "models/functions.h"

namespace tarva::model_functions {

namespace {

// X(i), Y(i) with i 1-based.
inline double px(const DataSet& d, int i) { return d.X[static_cast<std::size_t>(i - 1)]; }
inline double py(const DataSet& d, int i) { return d.Y[static_cast<std::size_t>(i - 1)]; }

double interpolate(double xa, double ya, double xb, double yb, double x) {
    if (std::abs(xb - xa) < 1e-10) return yb;
    return ya + (yb - ya) * (x - xa) / (xb - xa);
}

int point_count(const DataSet& d) {
    if (d.count < 0) return 0;
    return d.count > kMaxPoints ? kMaxPoints : d.count;
}

} // namespace

double linear_interpolation(const DataSet& data, float xs) {
    double x = xs;
    const int n = point_count(data);
    if (n < 2) return py(data, 1);
    if (x < px(data, 1)) return interpolate(px(data, 1), py(data, 1), px(data, 2), py(data, 2), x);
    for (int i = 1; i <= n - 1; ++i) {
        if (std::abs(x - px(data, i)) < 1e-6) return py(data, i);
        if (px(data, i) <= x && x < px(data, i + 1))
            return interpolate(px(data, i), py(data, i), px(data, i + 1), py(data, i + 1), x);
    }
    if (std::abs(x - px(data, n)) < 1e-6) return py(data, n);
    return interpolate(px(data, n - 1), py(data, n - 1), px(data, n), py(data, n), x);
}

double cubic_spline(Params a, const DataSet& data, const ModelTables& t, float xs) {
    // Set number: parameter 1 truncated toward zero, 1 to 10.
    if (!(a(1) >= 1.0 && a(1) < kSplineSets + 1.0)) return 0.0;
    const int set = static_cast<int>(a(1));
    const int n = data.count;
    float clamped = 0.0f;
    if (n >= 1 && n <= kMaxPoints) {
        clamped = xs;
        if (clamped < data.X[0]) clamped = data.X[0];
        if (clamped > data.X[static_cast<std::size_t>(n - 1)]) clamped = data.X[static_cast<std::size_t>(n - 1)];
    }
    const SplineSlot& slot = t.slots[static_cast<std::size_t>(set - 1)];
    // Largest interval whose start lies below the clamped abscissa.
    int interval = 0;
    for (int i = slot.last - slot.first - 1; i >= 1; --i) {
        int point = slot.first + i;
        if (point < 1 || point > kMaxPoints) continue;
        if (clamped > data.X[static_cast<std::size_t>(point - 1)]) {
            interval = i;
            break;
        }
    }
    const int point = slot.first + interval;
    if (point < 1 || point > kMaxPoints) return 0.0;
    const int entry = kSplineColumn * (set - 1) + interval + 1;
    // The tables end at entry 1060; a set whose span runs beyond has no
    // coefficients there.
    if (entry < 1 || entry > kSplineEntries) return 0.0;
    const auto e = static_cast<std::size_t>(entry - 1);
    double u = static_cast<double>(xs) - data.X[static_cast<std::size_t>(point - 1)];
    return t.a[e] + u * (t.b[e] + u * (t.c[e] + u * static_cast<double>(t.d[e])));
}

} // namespace tarva::model_functions
