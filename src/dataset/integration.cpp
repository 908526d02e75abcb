#include "dataset/integration.h"

#include <algorithm>
#include <cmath>

namespace tarva {

DataIntegral integrate_data(const DataSet& data, double a, double b) {
    DataIntegral r;
    const int n = data.count;
    const auto x = [&](int i) { return static_cast<double>(data.X[static_cast<std::size_t>(i - 1)]); };
    const auto y = [&](int i) { return static_cast<double>(data.Y[static_cast<std::size_t>(i - 1)]); };
    const auto var = [&](int i) {
        const double e = data.SIGMA[static_cast<std::size_t>(i - 1)];
        return e * e;
    };

    // i1: first point at or after a; i2: last point at or before b
    // (1-based, as the points are numbered for the user).
    int last_below = 0, last_within = 0;
    for (int i = 1; i <= n; ++i) {
        if (x(i) < a) last_below = i;
        if (x(i) <= b) last_within = i;
    }
    // Limits beyond the last point or before the first one: nothing of the
    // data lies between them (and there is no point i1 or i2 to read).
    if (last_below >= n || last_within == 0) return r;
    const int i1 = last_below + 1;
    const int i2 = last_within;

    double area = 0.0, variance = 0.0;
    // The piece from a up to the first point, interpolated from the point before.
    if (x(i1) > a && i1 > 1) {
        const double d = x(i1) - a;
        const double f = d / (x(i1) - x(i1 - 1));
        area = d * (y(i1) + (y(i1 - 1) - y(i1)) * f / 2.0);
        variance = d * (var(i1) + (var(i1 - 1) - var(i1)) * f / 2.0);
    }
    // The piece from the last point up to b, interpolated towards the next one.
    if (x(i2) < b && i2 < n) {
        const double d = b - x(i2);
        const double f = d / (x(i2 + 1) - x(i2));
        area += d * (y(i2) + (y(i2 + 1) - y(i2)) * f / 2.0);
        variance += d * (var(i2) + (var(i2 + 1) - var(i2)) * f / 2.0);
    }
    // Both limits between the same two points: the two pieces overlap by
    // the whole interval, which is taken off once.
    if (i2 < i1) {
        area -= (y(i1) + y(i2)) * (x(i1) - x(i2)) / 2.0;
        variance -= (var(i2) + var(i1)) * (x(i1) - x(i2)) / 2.0;
    }
    for (int i = i1; i < i2; ++i) {
        area += (y(i) + y(i + 1)) * (x(i + 1) - x(i)) / 2.0;
        variance += (var(i) + var(i + 1)) * (x(i + 1) - x(i)) / 2.0;
    }
    r.area = area;
    r.error = std::sqrt(std::max(variance, 0.0)); // rounding must not make it NaN

    double sum_var = 0.0;
    for (int i = i1; i <= i2; ++i) {
        r.sum += y(i);
        sum_var += var(i);
    }
    r.sum_error = std::sqrt(sum_var);
    return r;
}

} // namespace tarva
