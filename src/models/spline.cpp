// Natural cubic spline through the data points.
#include "models/spline.h"

#include <array>
#include <cstddef>

#include "text/format.h"

namespace tarva {

bool compute_spline(const DataSet& data, ModelTables& tables, OutputSink& out) {
    const int n_points = data.count > kMaxPoints ? kMaxPoints : data.count;
    tables.slots[0] = SplineSlot{1, n_points};
    if (n_points < 1) return true; // no points, no coefficients
    const int intervals = n_points - 1;

    // 1-based views of the arrays: a(i) is tables.a[i - 1].
    auto X = [&](int i) { return data.X[static_cast<std::size_t>(i - 1)]; };
    auto Y = [&](int i) { return data.Y[static_cast<std::size_t>(i - 1)]; };
    auto a = [&](int i) -> float& { return tables.a[static_cast<std::size_t>(i - 1)]; };
    auto b = [&](int i) -> float& { return tables.b[static_cast<std::size_t>(i - 1)]; };
    auto c = [&](int i) -> float& { return tables.c[static_cast<std::size_t>(i - 1)]; };
    auto d = [&](int i) -> float& { return tables.d[static_cast<std::size_t>(i - 1)]; };

    std::array<float, kMaxPoints + 1> h{}, l{}, mu{}, z{};
    auto at = [](std::array<float, kMaxPoints + 1>& v, int i) -> float& { return v[static_cast<std::size_t>(i)]; };

    for (int i = 1; i <= intervals; ++i) {
        a(i) = Y(i);
        at(h, i) = X(i + 1) - X(i);
        if (at(h, i) == 0.0f) {
            out.line(format_layout("('Identical x-values encountered at point ',I3)", {i - 1}));
            return false;
        }
    }
    a(n_points) = Y(n_points);

    at(l, 1) = 1.0f;
    at(mu, 1) = 0.0f;
    at(z, 1) = 0.0f;
    for (int i = 2; i <= intervals; ++i) {
        float alpha = 3.0f * ((a(i + 1) - a(i)) / at(h, i) - (a(i) - a(i - 1)) / at(h, i - 1));
        at(l, i) = 2.0f * (X(i + 1) - X(i - 1)) - at(h, i - 1) * at(mu, i - 1);
        at(mu, i) = at(h, i) / at(l, i);
        at(z, i) = (alpha - at(h, i - 1) * at(z, i - 1)) / at(l, i);
    }

    c(n_points) = 0.0f;
    for (int j = intervals; j >= 1; --j) {
        c(j) = at(z, j) - at(mu, j) * c(j + 1);
        b(j) = (a(j + 1) - a(j)) / at(h, j) - at(h, j) * (c(j + 1) + 2.0f * c(j)) / 3.0f;
        d(j) = (c(j + 1) - c(j)) / (3.0f * at(h, j));
    }
    return true;
}

} // namespace tarva
