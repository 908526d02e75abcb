// SPECIA's point-by-point transforms of the data set: coordinate changes,
// residuals against the current model, error-bar rewrites, pair averages
// and the energy to atomic mass conversion of backscattering spectra.
#include <cmath>

#include "commands/data/data_transforms.h"
#include "session/dialogue.h"
#include "text/format.h"

namespace tarva::special {

namespace {

// Degrees to radians in single precision, as the data are.
constexpr float kDegree = 0.0174532924f;

// Applies `f(x, y, sigma)` to every point.
template <typename F>
void each_point(DataSet& d, F f) {
    for (int i = 0; i < d.count; ++i) {
        const auto u = static_cast<std::size_t>(i);
        f(d.X[u], d.Y[u], d.SIGMA[u]);
    }
}

// 1: X = ((X+A)**2)*DK, Y = (Y+B)/(X+A).
void shifted_square(Session& s) {
    double a = 0.0, dk = 0.0, b = 0.0, unused = 0.0;
    if (!ask_number_pair(s, "Replace X with ( (X+A)**2 )*DK, A, DK > ", a, dk)) return;
    if (!ask_number_pair(s, "        Replace Y with (Y+B)/(X+A), B > ", b, unused)) return;
    if (std::fabs(dk) < 1e-10) dk = 1.0;
    const auto af = static_cast<float>(a), bf = static_cast<float>(b), dkf = static_cast<float>(dk);
    each_point(s.data, [&](float& x, float& y, float& sigma) {
        const float v = x + af;
        if (v != 0.0f) {
            y = (y + bf) / v;
            sigma = sigma / v;
        } else {
            y = 0.0f;
        }
        x = v * v * dkf;
    });
    s.out().line("X replaced with " + g13(dkf) + "*(X+" + g13(af) + ")**2");
    s.out().line("Y replaced with  (Y+" + g13(bf) + ")/(X+" + g13(af) + ")");
    s.out().blank_line();
}

// 2: Y = Y + A*(X+B).
void add_line(Session& s) {
    double a = 0.0, b = 0.0;
    if (!ask_number_pair(s, "Replace Y with Y+A*(X+B), A,B > ", a, b)) return;
    if (std::fabs(a) < 1e-10) return;
    const auto af = static_cast<float>(a), bf = static_cast<float>(b);
    each_point(s.data, [&](float& x, float& y, float&) { y = y + (x + bf) * af; });
}

// 7, 8, B: the transforms against the current model.
void against_model(Session& s, char which) {
    const std::vector<double> f = model_at_points(s);
    DataSet& d = s.data;
    for (int i = 0; i < d.count; ++i) {
        const auto u = static_cast<std::size_t>(i);
        const double fx = f[u];
        float& y = d.Y[u];
        float& sigma = d.SIGMA[u];
        if (which == '7') {
            y = static_cast<float>(y - fx);
        } else if (which == '8') {
            if (std::fabs(fx) < 1e-30) {
                s.out().line("Zero F(X) value at data point " + format_I(i + 1, 5));
                y = 0.0f;
                sigma = 0.0f;
            } else {
                y = static_cast<float>(100.0 * (y - fx) / fx);
                sigma = static_cast<float>(100.0 * sigma / fx);
            }
        } else if (std::fabs(fx) < 1e-20) {
            y = 0.0f;
        } else {
            y = static_cast<float>(y / fx);
            sigma = static_cast<float>(sigma / fx);
        }
    }
}

// A: X = A/X.
void reciprocal_x(Session& s) {
    double a[1] = {0.0};
    if (!ask_numbers(s, "Replace X with A/X, A > ", a)) return;
    const auto af = static_cast<float>(a[0]);
    each_point(s.data, [&](float& x, float&, float&) {
        if (std::fabs(x) >= 1e-30f) x = af / x;
    });
}

// C: running sums of Y and of SIGMA.
void cumulative(Session& s) {
    DataSet& d = s.data;
    for (int i = 1; i < d.count; ++i) {
        const auto u = static_cast<std::size_t>(i);
        d.Y[u] += d.Y[u - 1];
        d.SIGMA[u] += d.SIGMA[u - 1];
    }
    s.out().line("Y replaced by cumulative(Y),");
    s.out().line(" ErrY replaced by cumulative(ErrY).");
}

// D: negative Y to zero, their errors too unless the argument says N.
void clip_negative(Session& s, const CommandContext& ctx) {
    const std::string_view arg = ctx.argument_trimmed();
    const bool keep_errors = !arg.empty() && (arg[0] == 'N' || arg[0] == 'n');
    s.out().line("Negative Y values set to zero.");
    s.out().line(keep_errors ? "Errors not changed." : "Errors for negative y-values zeroed.");
    each_point(s.data, [&](float&, float& y, float& sigma) {
        if (y < 0.0f) {
            y = 0.0f;
            if (!keep_errors) sigma = 0.0f;
        }
    });
}

// E: Y = sqrt(|Y|) with the error carried along.
void square_root(Session& s) {
    s.out().line("y replaced by sqrt(abs(y)),");
    s.out().line("sigma by 0.5*sigma/sqrt(abs(y)).");
    each_point(s.data, [&](float&, float& y, float& sigma) {
        y = std::sqrt(std::fabs(y));
        sigma = y >= 1e-10f ? 0.5f * sigma / y : 0.0f;
    });
    s.data.y_label = label_text("sqrt(" + std::string(s.data.y_label.trimmed()) + ")");
}

// G: pairs of points averaged; the error bar is the mean half-distance in X.
void average_pairs(Session& s) {
    if (!enough_points(s, 2)) return;
    DataSet& d = s.data;
    const int pairs = d.count / 2;
    float spread = 0.0f;
    for (int k = 0; k < pairs; ++k) {
        const auto odd = static_cast<std::size_t>(2 * k), even = odd + 1, u = static_cast<std::size_t>(k);
        spread += std::fabs(d.X[odd] - d.X[even]) / 2.0f;
        d.X[u] = (d.X[odd] + d.X[even]) / 2.0f;
        d.Y[u] = (d.Y[odd] + d.Y[even]) / 2.0f;
    }
    const float e = spread / static_cast<float>(pairs);
    for (int k = 0; k < pairs; ++k) d.SIGMA[static_cast<std::size_t>(k)] = e;
    d.count = pairs;
    s.out().line("Data averaged in pairs, y-error is difference in x-pairs.");
    s.out().line("Error bar (+/-" + g12(e) + ") is average difference between x-pairs.");
}

// L: X = X*X, Y = Y/(X*X).
void square_x(Session& s) {
    s.out().line("Replace x by x*x and y by y/(x*x)");
    DataSet& d = s.data;
    for (int i = 0; i < d.count; ++i) {
        const auto u = static_cast<std::size_t>(i);
        const float x2 = d.X[u] * d.X[u];
        d.X[u] = x2;
        if (std::fabs(x2) >= 1e-20f) {
            d.Y[u] = d.Y[u] / x2;
        } else {
            d.Y[u] = 0.0f;
            s.out().line("Zero x at data point " + format_I(i + 1, 4) + " setting y to zero.");
        }
    }
    s.out().line("Done.");
}

// P: (theta in degrees, r) to (x, y).
void polar_to_cartesian(Session& s) {
    s.out().line("Converting from (theta,r) into (x,y).");
    each_point(s.data, [](float& x, float& y, float& sigma) {
        const float phi = x * kDegree;
        const float r = y;
        x = r * std::cos(phi);
        y = r * std::sin(phi);
        sigma = sigma * std::sin(phi);
    });
}

// Q: X = A2*X**2 + A1*X + A0.
void quadratic_x(Session& s) {
    s.out().line("Modify the X-axis by a quadratic.");
    s.out().blank_line();
    double a[3] = {0.0, 0.0, 0.0};
    if (!ask_numbers(s, "Enter A0,A1,A2 > ", a)) return;
    const auto a0 = static_cast<float>(a[0]), a1 = static_cast<float>(a[1]), a2 = static_cast<float>(a[2]);
    each_point(s.data, [&](float& x, float&, float&) { x = a2 * x * x + a1 * x + a0; });
    s.out().blank_line();
    s.out().line("Modification complete");
    s.out().blank_line();
}

// R: backscattering energy to the mass of the scattering atom.
void energy_to_mass(Session& s) {
    s.out().line("Change the X-axis (Energy) into atomic mass");
    s.out().blank_line();
    double e0 = 2000.0, unused = 0.0;
    if (ask_number_pair_once(s, " Initial beam energy in X-axis units (2000). QU to abort > ", e0, unused) != kPairOk ||
        e0 < 1e-10)
        return;
    double angle = 170.0, mass = 4.0026;
    if (!ask_number_pair(s, "Detector angle rel. to forward direction in deg. (170) > ", angle, unused)) return;
    if (!ask_number_pair(s, "                           Beam particle mass (4.0026) > ", mass, unused)) return;
    const auto e0f = static_cast<float>(e0), m = static_cast<float>(mass);
    const float c = std::cos(static_cast<float>(angle) * kDegree);
    each_point(s.data, [&](float& x, float&, float&) {
        const float k = x / e0f;
        // Energies below zero have no mass; they go to 0 like the pole at k = 1.
        if (std::fabs(1.0f - k) >= 1e-10f && k >= 0.0f)
            x = m * (k + 1.0f - 2.0f * std::sqrt(k) * c) / (1.0f - k);
        else
            x = 0.0f;
    });
    s.data.x_label = "Atomic Mass";
}

// X: X = sign(X)*log10(|X|).
void signed_log_x(Session& s) {
    s.out().line(" X replaced by sign(X)*log(X)");
    each_point(s.data, [](float& x, float&, float&) {
        // log10(0) would put an infinity into the data: 0 stays 0.
        if (x != 0.0f) x = (x < 0.0f ? -1.0f : 1.0f) * std::log10(std::fabs(x));
    });
    s.data.x_label = label_text("SIGN*(LOG(" + std::string(s.data.x_label.trimmed()) + ")");
}

} // namespace

bool run_point_transform(Session& s, CommandContext& ctx) {
    OutputSink& out = s.out();
    DataSet& d = s.data;
    switch (ctx.qualifier) {
    case '1': shifted_square(s); return true;
    case '2': add_line(s); return true;
    case '3':
        out.line("Replace X with 10**X.");
        each_point(d, [](float& x, float&, float&) { x = std::pow(10.0f, x); });
        return true;
    case '4':
        out.line("Replace Y with 10**Y.");
        each_point(d, [](float&, float& y, float&) { y = std::pow(10.0f, y); });
        return true;
    case '5':
        out.line("Y replaced by Y**2");
        out.line("Yerr replaced by 2*oldY*oldYerr");
        each_point(d, [](float&, float& y, float& sigma) {
            sigma = 2.0f * y * sigma;
            y = y * y;
        });
        return true;
    case '6':
        out.line("Replace Y with abs(Y).");
        each_point(d, [](float&, float& y, float&) { y = std::fabs(y); });
        return true;
    case '7':
        out.line("Replace Y with Y-F(X)  (Error transform)");
        against_model(s, '7');
        return true;
    case '8':
        out.line("Replace X with 100*(Y-F(X))/Y  (% error transform)");
        against_model(s, '8');
        return true;
    case '9':
        out.line("Replace X with SIGN(Y)*X");
        each_point(d, [](float& x, float& y, float&) {
            if (y < 0.0f) x = -x;
        });
        return true;
    case 'A': reciprocal_x(s); return true;
    case 'B':
        out.line("Replace Y with Y/F(X)");
        against_model(s, 'B');
        return true;
    case 'C': cumulative(s); return true;
    case 'D': clip_negative(s, ctx); return true;
    case 'E': square_root(s); return true;
    case 'F':
        each_point(d, [](float& x, float& y, float& sigma) {
            if (x < 0.0f) y = sigma = 0.0f;
        });
        out.line("Y-values of negative X values set to zero.");
        return true;
    case 'G': average_pairs(s); return true;
    case 'L': square_x(s); return true;
    case 'N':
        out.line("Yerr replaced by 1/Yerr.");
        each_point(d, [](float&, float&, float& sigma) {
            if (std::fabs(sigma) > 1e-10f) sigma = 1.0f / sigma;
        });
        return true;
    case 'P': polar_to_cartesian(s); return true;
    case 'Q': quadratic_x(s); return true;
    case 'R': energy_to_mass(s); return true;
    case 'X': signed_log_x(s); return true;
    default: return false;
    }
}

} // namespace tarva::special
