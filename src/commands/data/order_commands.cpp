// ORDER sorts the points by X; REGUL sorts them and puts X on an evenly
// spaced grid with the same width and centre.
#include <algorithm>
#include <array>

#include "commands/commands.h"
#include "session/session.h"
#include "text/format.h"

namespace tarva {

namespace {

// Stable selection: each output position takes the smallest X not yet
// taken, the earliest point on ties, so equal X keep their order.
void order_points(DataSet& d) {
    const auto n = static_cast<std::size_t>(d.count);
    std::array<bool, kMaxPoints> taken{};
    std::array<float, kMaxPoints> x{}, y{}, e{};
    for (std::size_t out = 0; out < n; ++out) {
        std::size_t best = n;
        for (std::size_t i = 0; i < n; ++i)
            if (!taken[i] && (best == n || d.X[i] < d.X[best])) best = i;
        taken[best] = true;
        x[out] = d.X[best];
        y[out] = d.Y[best];
        e[out] = d.SIGMA[best];
    }
    std::copy(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(n), d.X.begin());
    std::copy(y.begin(), y.begin() + static_cast<std::ptrdiff_t>(n), d.Y.begin());
    std::copy(e.begin(), e.begin() + static_cast<std::ptrdiff_t>(n), d.SIGMA.begin());
}

} // namespace

void cmd_order(Session& s, CommandContext&) { order_points(s.data); }

void cmd_regul(Session& s, CommandContext&) {
    DataSet& d = s.data;
    order_points(d);
    const int n = d.count;
    if (n < 3) {
        s.out().line("Too few data points for this!");
        s.out().blank_line();
        return;
    }
    const auto x = [&](int i) { return static_cast<double>(d.X[static_cast<std::size_t>(i - 1)]); };
    const double width = (x(n) - x(1)) / (n - 1);
    s.out().line("Average channel width = " + format_G(width, 13, 5, 1));
    double offsets = 0.0;
    for (int i = 1; i <= n / 2; ++i) offsets += (x(n + 1 - i) + x(i)) / 2.0 - x(1);
    const double middle = x(1) + offsets / (n / 2);
    s.out().line("   Midpoint of x-axis = " + format_G(middle, 13, 5, 1));
    // Centred on the midpoint: the middle of the point numbers, (n + 1)/2,
    // is a half-integer for an even count.
    for (int i = 1; i <= n; ++i)
        d.X[static_cast<std::size_t>(i - 1)] = static_cast<float>(middle - ((n + 1) / 2.0 - i) * width);
}

} // namespace tarva
