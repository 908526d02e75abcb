// LOG, DERIV, SWAP and ROTATE: transforms of the point coordinates. The
// arithmetic is done in double precision and the results stored back as
// single-precision data values.
#include <cmath>
#include <utility>

#include "commands/commands.h"
#include "session/dialogue.h"
#include "session/session.h"
#include "text/format.h"

namespace tarva {

namespace {

// log10 of the values above 1e-25; the others (zero, negative) become 0.
void take_log(std::array<float, kMaxPoints>& v, int count) {
    for (int i = 0; i < count; ++i) {
        const double x = v[static_cast<std::size_t>(i)];
        v[static_cast<std::size_t>(i)] = x > 1e-25 ? static_cast<float>(std::log10(x)) : 0.0f;
    }
}

// Pi/180 as the single-precision constant the angle has always used.
constexpr double kDegree = 0.01745329238474369;

} // namespace

void cmd_log(Session& s, CommandContext& ctx) {
    char axis = ctx.qualifier;
    if (axis == ' ') {
        auto answer = ask_text(s, "Axis for taking log (CR for none) > ", 1);
        if (!answer) return;
        axis = upper(*answer)[0];
    }
    DataSet& d = s.data;
    if (axis == 'X') {
        take_log(d.X, d.count);
        d.log_x = 1;
        d.log_scale_x = 1;
        s.out().line("Log taken of x-values.");
    } else if (axis == 'Y') {
        take_log(d.Y, d.count);
        d.log_y = 1;
        d.log_scale_y = 1;
        s.out().line("Log taken of y-values, y-error unchanged.");
    } else {
        s.out().line("Can't identify axis, require LOG/X or LOG/Y");
    }
}

void cmd_deriv(Session& s, CommandContext&) {
    DataSet& d = s.data;
    // A derivative needs two points; one point would simply vanish.
    if (d.count < 2) {
        s.out().line("Too few data points for this!");
        s.out().blank_line();
        return;
    }
    // Point i-1 is overwritten only after points i-1 and i have been read,
    // so the loop works in place.
    for (int i = 2; i <= d.count; ++i) {
        const auto lo = static_cast<std::size_t>(i - 2), hi = static_cast<std::size_t>(i - 1);
        const double x0 = d.X[lo], x1 = d.X[hi];
        const double y0 = d.Y[lo], y1 = d.Y[hi];
        const double e0 = d.SIGMA[lo], e1 = d.SIGMA[hi];
        const double dx = x1 - x0;
        d.X[lo] = static_cast<float>((x1 + x0) / 2.0);
        if (std::fabs(dx) < 1e-20) {
            s.out().line("Infinite derivative at point " + format_I(i, 4));
            d.Y[lo] = 0.0f;
            d.SIGMA[lo] = 0.0f;
        } else {
            d.Y[lo] = static_cast<float>((y1 - y0) / dx);
            d.SIGMA[lo] = static_cast<float>((e0 + e1) * 0.5 / dx);
        }
    }
    d.count -= 1;
    s.out().line("Derivative taken of data.");
    s.out().blank_line();
}

void cmd_swap(Session& s, CommandContext&) {
    DataSet& d = s.data;
    if (d.dimensions != 0) {
        s.out().line("Data unsuitable for this command.");
        s.out().blank_line();
        return;
    }
    for (std::size_t i = 0; i < static_cast<std::size_t>(d.count); ++i) std::swap(d.X[i], d.Y[i]);
    std::swap(d.x_label, d.y_label);
}

void cmd_rotate(Session& s, CommandContext& ctx) {
    double degrees = ctx.number;
    if (std::fabs(degrees) < 1e-30) {
        auto answer = ask_real(s, "ROTATE THE DATA, ANGLE (DEG). > ");
        if (!answer) return;
        degrees = *answer;
        if (std::fabs(degrees) < 1e-30) return;
    }
    const double a = degrees * kDegree;
    const double c = std::cos(a), sn = std::sin(a);
    DataSet& d = s.data;
    const auto n = static_cast<std::size_t>(d.count);
    const std::string rotated = "DATA ROTATED BY " + format_F(degrees, 10, 3) + " DEGREES.";
    if (ctx.qualifier == 'M') {
        // About marker 1, in the proportions of the last plot: Y is scaled
        // so that a turn looks like a turn on the picture.
        const GraphicsState& g = s.graphics;
        const double xspan = static_cast<double>(g.xmax) - g.xmin;
        const double yspan = static_cast<double>(g.ymax) - g.ymin;
        if (yspan * xspan * g.aspect == 0.0) {
            s.out().line("X or Y range is zero.");
            return;
        }
        const double scale = xspan / (yspan * g.aspect);
        const double mx = s.markers.x[0], my = s.markers.y[0];
        for (std::size_t i = 0; i < n; ++i) {
            const double dx = d.X[i] - mx;
            const double dy = (d.Y[i] - my) * scale;
            d.X[i] = static_cast<float>(mx + dx * c - dy * sn);
            d.Y[i] = static_cast<float>((dx * sn + dy * c) / scale + my);
        }
        s.out().line(rotated);
        s.out().line("ABOUT: " + format_G(mx, 13, 5, 1) + format_G(my, 13, 5, 1));
        s.out().blank_line();
        return;
    }
    for (std::size_t i = 0; i < n; ++i) {
        const double x = d.X[i], y = d.Y[i];
        d.X[i] = static_cast<float>(x * c - y * sn);
        d.Y[i] = static_cast<float>(x * sn + y * c);
    }
    s.out().line(rotated);
    s.out().blank_line();
}

} // namespace tarva
