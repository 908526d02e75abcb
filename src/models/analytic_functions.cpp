// Polynomials and series, exponentials, hyperbolic and trigonometric forms,
// the Bessel series, the Fermi step, circle and hyperbola caps, device
// characteristics and the grid-shadow formula.
#include <cmath>

#include "models/functions.h"
#include "text/fixed_text.h"

namespace tarva::model_functions {

namespace {

// t^k by repeated squaring, k >= 0.
double power(double t, int k) {
    double r = 1.0;
    while (k > 0) {
        if (k & 1) r *= t;
        t *= t;
        k >>= 1;
    }
    return r;
}

} // namespace

double cube_root(double v) {
    if (std::abs(v) <= 1e-25) return 0.0;
    double r = std::exp(std::log(std::abs(v)) / 3.0);
    return v < 0.0 ? -r : r;
}

double fermi(Params a, float xs) {
    double x = xs;
    double e = a(4);
    if (x >= a(10)) {
        if (std::abs(a(2)) <= 1e-30) return 1e10;
        double z = (x - a(1) - a(10)) / a(2);
        if (z > 40.0) return 0.0;
        e = a(4) + z * (a(5) + z * (a(6) + z * (a(7) + z * (a(8) + z * a(9)))));
        if (e > 70.0) return 0.0;
    }
    return a(3) / (std::exp(e) + 1.0);
}

double polynomial_term(Params a, int n, int k, double x) {
    double t = x + a(2);
    if (n <= 3) return a(3) * t;
    // A coefficient below 1e-30 adds nothing (adding -0 leaves any sum
    // exactly as it is).
    if (std::abs(a(k + 2)) < 1e-30) return -0.0;
    return a(k + 2) * power(t, k);
}

double polynomial(Params a, int n, float xs) {
    double x = xs;
    if (n <= 3) return a(1) + polynomial_term(a, n, 1, x);
    double v = a(1);
    for (int k = 1; k <= n - 2; ++k) v += polynomial_term(a, n, k, x);
    return v;
}

double grid_shadow(Params a, float xs) {
    double x = xs;
    double angle = a(1) * kTwoPi / 360.0;
    double n = a(2);
    double c = a(3);
    if (n == 0.0 || angle == 0.0 || c == 0.0) return 0.0;
    double d = a(6);
    int order = round_nearest(a(7));
    double f = (x - a(4)) * 1e-6 / (std::tan(angle) * n);
    double ratio = f / c;
    double sign = ratio < 0.0 ? -1.0 : 1.0;
    double h;
    if (order == 2) {
        h = sign * d * std::sqrt(std::abs(ratio));
    } else if (order == 5) {
        h = sign * d * std::pow(std::abs(ratio), static_cast<double>(0.2f));
    } else {
        h = d * cube_root(ratio);
    }
    return (h + f) * 1e6 - a(5);
}

double multi_linear(Params a, float xs) {
    double x = xs;
    double y1 = a(1), g1 = a(2), x1 = a(3), g2 = a(4), x2 = a(5), g3 = a(6), x3 = a(7), g4 = a(8);
    if (x <= x1) return y1 + g1 * x;
    double c2 = y1 + g1 * x1 - g2 * x1;
    if (x < x2) return c2 + g2 * x;
    double c3 = c2 + g2 * x2 - g3 * x2;
    if (x < x3) return c3 + g3 * x;
    return g4 * x + c3 + g3 * x3 - g4 * x3;
}

double poly_exp_poly(Params a, int n, float xs) {
    if (n <= 0) return 0.0;
    double t = to_single(static_cast<double>(xs) + a(1));
    double p = 0.0, q = 0.0, tk = 1.0;
    for (int k = 0; k <= 9 && 2 * k + 1 <= n; ++k) {
        p += a(2 * k + 3) * tk;
        q += a(2 * k + 4) * tk;
        tk *= t;
    }
    if (-q > 70.0) return kHuge30;
    return a(2) + p * std::exp(-q);
}

double root_inverse_poly(Params a, float xs) {
    double t = static_cast<double>(xs) + a(1);
    if (std::abs(t) < 1e-30) return kHuge30;
    double v = a(2) * cube_root(t);
    if (std::abs(a(3)) >= 1e-20) v += a(3) / t;
    v += a(4);
    double tj = 1.0;
    for (int j = 1; j <= 5; ++j) {
        tj *= t;
        if (std::abs(a(j + 4)) >= 1e-20) v += a(j + 4) * tj;
    }
    return v;
}

double tanh_step(Params a, float xs) { return a(1) + a(2) * std::tanh(a(3) * static_cast<double>(xs)); }

double legendre_series(Params a, int n, float xs) {
    if (n <= 2) return 0.0;
    double theta = static_cast<double>(to_single(static_cast<double>(xs) + a(2))) * kDegree;
    double c = std::cos(theta);
    // P(j) for j = 0 .. n-3, built upwards.
    double p_prev = 1.0; // P0
    double sum = a(3) * p_prev;
    if (n >= 4) sum += a(4) * c; // P1
    if (n >= 5) {
        double p1 = c;
        double p2 = (3.0 * std::cos(2.0 * theta) + 1.0) / 4.0;
        sum += a(5) * p2;
        p_prev = p1;
        double p_k = p2;
        for (int k = 2; k + 1 <= n - 3; ++k) {
            double next = ((2.0 * k + 1.0) * c * p_k - k * p_prev) / (k + 1.0);
            p_prev = p_k;
            p_k = next;
            sum += a(k + 4) * p_k;
        }
    }
    return a(1) * sum;
}

double three_exponentials(Params a, float xs) {
    double g = static_cast<double>(xs) + a(2);
    double v = a(1);
    for (int pair = 0; pair < 3; ++pair) {
        double amp = a(3 + 2 * pair);
        double b = a(4 + 2 * pair);
        if (std::abs(b) < 1e-10) continue;
        double r = g / b;
        if (r > 46.0) {
            if (amp < 0.0) {
                v += -kHuge20;
            } else if (std::abs(amp) >= 1e-10) {
                v += kHuge20;
            }
        } else {
            v += amp * std::exp(r);
        }
    }
    return v;
}

double pole(Params a, float xs) {
    double c = 1.0 - a(2) * a(3) * static_cast<double>(xs);
    if (std::abs(c) < 1e-30) return kHuge30;
    return a(1) / c;
}

double inverse_sqrt(Params a, float xs) {
    if (std::abs(a(3)) < 1e-20) return 0.0;
    double u = (static_cast<double>(xs) - a(2)) / a(3);
    double q = 1.0 - u * u;
    if (q < 1e-20) return 0.0;
    return a(1) / std::sqrt(q);
}

double square_root(Params a, float xs) { return a(2) + std::sqrt(std::abs(static_cast<double>(xs) + a(1))) * a(3); }

double inverse_tanh(Params a, float xs) {
    double tau = std::tanh(a(2) + a(3) * static_cast<double>(xs));
    if (std::abs(tau) < 1e-10 && std::abs(a(1)) > 1e-10) return 1e10;
    if (a(1) <= 1e-10) return 0.0;
    return a(1) / tau;
}

double bessel_series(Params a, float xs) {
    int order = round_nearest(a(1));
    int ex = round_nearest(a(2));
    int e = round_nearest(a(3));
    double f = a(4) * static_cast<double>(xs);
    double s = 0.0;
    if (ex >= 0 && order >= ex && order <= 5 && std::abs(f) <= 20.0) {
        double g = 1.0;
        for (int k = 1; k <= order; ++k) {
            if (k <= order - ex) g *= f;
            g /= 2.0 * k;
        }
        double h = g;
        for (int m = 1; m <= 40; ++m) {
            g = -g * (f * f) / (4.0 * m * (order + m)); // f^2 as one factor
            if (std::abs(g) < 1e-4) break;
            h += g;
        }
        s = h * a(5);
    }
    if (e == 1) return s;
    if (e == 2) return s * s;
    return 0.0;
}

double two_exponentials(Params a, float xs) {
    double x = xs;
    return a(1) + a(2) * std::exp(-a(3) * x) + a(4) * x + a(5) * std::exp(-a(6) * x);
}

double sine_cosine(Params a, int n, float xs) {
    double x = xs;
    double v = n >= 1 ? a(1) : 0.0;
    if (n > 4 && std::abs(a(5)) > 1e-10) v += a(4) * std::sin(kTwoPi * (x + a(2)) / a(5));
    if (n > 6 && std::abs(a(7)) > 1e-10) v += a(6) * std::cos(kTwoPi * (x + a(3)) / a(7));
    return v;
}

double circle_cap(Params a, float xs) {
    double x = xs;
    if (x < a(3) - a(4) || x > a(3) + a(4)) return a(1);
    double u = x - a(3);
    return a(1) + a(2) * std::sqrt(std::abs(a(4) * a(4) - u * u));
}

double drift(Params a, float xs) {
    double x = xs;
    double d = a(1), pm = a(2), v = a(3), r = a(4);
    if (r <= 1e-10) return 0.0;
    double m = 1.0 + pm * v * std::cos(v * x / r);
    if (std::abs(m) < 1e-10) return 0.0;
    return x + d / m;
}

double hyperbola(Params a, float xs) {
    double u = static_cast<double>(xs) - a(3);
    if (u < a(4)) return a(1);
    return a(1) + a(2) * std::sqrt(std::abs(u * u - a(4) * a(4)));
}

double diode(Params a, int n, float xs) {
    if (n <= 0) return 0.0;
    return a(2) * (std::exp(a(3) * (a(1) + static_cast<double>(xs))) - 1.0) - a(4);
}

double log_characteristic(Params a, int n, float xs) {
    if (n <= 0) return 0.0;
    double x = xs;
    double b = a(2) - a(3) * x;
    if (b <= 0.0) return 0.0;
    return a(1) * std::log(b) - a(4) * x;
}

} // namespace tarva::model_functions
