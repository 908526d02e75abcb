#include "fitting/term_series_kernel.h"

#include <algorithm>
#include <cmath>

#include "models/functions.h"

namespace tarva {

namespace {

using model_functions::Params;

// Terms a point can keep for the derivative pass (the start value takes
// the first place).
constexpr int kMaxTerms = EngineState::kKeptTerms - 1;

// What a parameter enters besides nothing: the start value, one term (1..),
// or everything.
constexpr int kNotRead = -1;
constexpr int kStart = 0;
constexpr int kEverything = 1000;

int term_count(const TermSeries& g) {
    const int n = g.nparams;
    switch (g.function) {
    case 2: return n <= 3 ? 1 : n - 2;
    case 19: return n <= 1 ? 0 : (n > 5 ? 1 : 0) + (n > 9 ? 1 : 0);
    case 21: return n == 1 ? 0 : std::clamp((n - 2) / 3, 0, 16);
    case 30: return n <= 2 ? 0 : 2;
    default: return 0;
    }
}

double start_value(const TermSeries& g, const double* a, double x) {
    const int n = g.nparams;
    switch (g.function) {
    case 2: return a[0];
    case 21: return n == 1 ? a[0] : a[0] + a[1] * x;
    default: return n <= 0 ? 0.0 : n == 1 ? a[0] : a[0] + a[1] * x; // 19 and 30
    }
}

double term(const TermSeries& g, const double* a, int k, double x) {
    const Params p{a};
    switch (g.function) {
    case 2: return model_functions::polynomial_term(p, g.nparams, k, x);
    case 19: return model_functions::channeling_term(p, k, x);
    case 21: return model_functions::breit_wigner_term(p, k, x);
    default: return model_functions::error_function_gaussian_term(p, k, x); // 30
    }
}

// What slot j (0-based) enters.
int entered_by(const TermSeries& g, int m, int j) {
    const int n = g.nparams;
    switch (g.function) {
    case 2:
        if (j == 0) return kStart;
        if (n <= 3) return j == 1 || j == 2 ? 1 : kNotRead;
        if (j == 1) return kEverything; // the shift of every power
        return j - 1 <= m ? j - 1 : kNotRead;
    case 19:
        if (j <= 1) return n > j ? kStart : kNotRead;
        return j < 10 && (j - 2) / 4 + 1 <= m ? (j - 2) / 4 + 1 : kNotRead;
    case 21:
        if (j == 0) return kStart;
        if (j == 1) return n != 1 ? kStart : kNotRead;
        return (j - 2) / 3 + 1 <= m ? (j - 2) / 3 + 1 : kNotRead;
    case 30:
        if (j <= 1) return n > j ? kStart : kNotRead;
        if (m == 0 || j > 9) return kNotRead;
        if (j == 5) return kEverything; // the common width of both terms
        return j <= 4 ? 1 : 2;
    default: return kEverything;
    }
}

inline double add_terms(const double* t, double s, int k, int m) {
    for (int q = k + 1; q <= m; ++q) s += t[q];
    return s;
}

double full_sum(const TermSeries& g, const double* a, int m, double x) {
    double s = start_value(g, a, x);
    for (int k = 1; k <= m; ++k) s += term(g, a, k, x);
    return s;
}

void run(const PointKernel& self, EngineState& e, int begin, int end, bool derivs) {
    const TermSeries& g = *static_cast<const TermSeries*>(self.context);
    const int m = term_count(g);
    // A private copy of the parameters, perturbed one at a time.
    double a[kEngineParams];
    std::copy(e.a.begin(), e.a.end(), a);
    int enters[kEngineParams];
    double h[kEngineParams];
    double moved[kEngineParams];
    for (int p = 0; derivs && p < e.nvaried; ++p) {
        const int j = e.varied[p];
        enters[p] = entered_by(g, m, j);
        h[p] = forward_step(a[j]);
        moved[p] = a[j] + h[p];
    }
    // The pass of values just before, at these very parameters, kept them.
    const bool reuse = derivs && terms_kept_for(self, e, a);
    double t[kMaxTerms + 1];
    double prefix[kMaxTerms + 1];
    for (int i = begin; i < end; ++i) {
        const double x = e.x[i];
        auto& kept = e.point_terms[i];
        if (reuse) {
            std::copy_n(kept.begin(), m + 1, t);
        } else {
            t[0] = start_value(g, a, x);
            for (int k = 1; k <= m; ++k) t[k] = term(g, a, k, x);
            if (!derivs) std::copy_n(t, m + 1, kept.begin());
        }
        double s = t[0];
        prefix[0] = s;
        for (int k = 1; k <= m; ++k) {
            s += t[k];
            prefix[k] = s;
        }
        const double f = finish_value(g.log_result, g.sqrt_result, s);
        e.model[i] = f;
        if (!derivs) continue;
        const bool f_finite = std::isfinite(f);
        auto& row = e.point_deriv[i];
        for (int p = 0; p < e.nvaried; ++p) {
            const int j = e.varied[p];
            const int k = enters[p];
            double f2 = f;
            if (k != kNotRead) {
                const double keep = a[j];
                a[j] = moved[p];
                if (k == kEverything) {
                    f2 = finish_value(g.log_result, g.sqrt_result, full_sum(g, a, m, x));
                } else if (k == kStart) {
                    f2 = finish_value(g.log_result, g.sqrt_result, add_terms(t, start_value(g, a, x), 0, m));
                } else {
                    // A term, or a partial sum, that comes out as before
                    // leaves the value as it was.
                    const double t2 = term(g, a, k, x);
                    const double s2 = prefix[k - 1] + t2;
                    if (!same_bits(t2, t[k]) && !same_bits(s2, prefix[k]))
                        f2 = finish_value(g.log_result, g.sqrt_result, add_terms(t, s2, k, m));
                }
                a[j] = keep;
            }
            row[p] = zero_or_quotient(f2, f, f_finite, h[p]);
        }
    }
}

// The analytic derivative of function 2 or 21 at x with respect to slot j
// (0-based), which enters `k` (entered_by); before the result options.
double analytic_derivative(const TermSeries& g, const double* a, int m, int j, int k, double x) {
    if (k == kNotRead) return 0.0;
    if (g.function == 2) {
        // a(1) + sum over k of a(k+2) (x + a(2))^k, or a(1) + a(3) (x + a(2)).
        const double t = x + a[1];
        if (j == 0) return 1.0;
        if (g.nparams <= 3) return j == 1 ? a[2] : t;
        if (j == 1) {
            double d = 0.0, tk = 1.0; // t^(q-1)
            for (int q = 1; q <= m; ++q) {
                if (std::abs(a[q + 1]) >= 1e-30) d += q * a[q + 1] * tk;
                tk *= t;
            }
            return d;
        }
        double tk = 1.0;
        for (int q = 1; q < j; ++q) tk *= t;
        return tk;
    }
    // Function 21: a(1) + a(2) x plus peaks A h^2 / (u^2 + h^2), h = w / 2,
    // u = x - c, with the derivatives h^2 / q, 2 A h^2 u / q^2 and
    // A h u^2 / q^2 (q = u^2 + h^2) by height, centre and width.
    if (j == 0) return 1.0;
    if (j == 1) return x;
    const double height = a[3 * k - 1], h = a[3 * k + 1] / 2.0, u = x - a[3 * k];
    const double q = u * u + h * h;
    if (q == 0.0) return 0.0;
    switch ((j - 2) % 3) {
    case 0: return (h * h) / q;
    case 1: return 2.0 * height * (h * h) * u / (q * q);
    default: return height * h * (u * u) / (q * q);
    }
}

// Values and precise derivatives for the fit to convergence: analytic for
// the polynomial and the Breit-Wigner peaks, five-point central differences
// over the given steps otherwise (re-forming only what the parameter enters, as the
// forward differences do).
void precise(const PointKernel& self, EngineState& e, int begin, int end, bool derivs, const double* steps) {
    const TermSeries& g = *static_cast<const TermSeries*>(self.context);
    const int m = term_count(g);
    const bool analytic = g.function == 2 || g.function == 21;
    double a[kEngineParams];
    std::copy(e.a.begin(), e.a.end(), a);
    int enters[kEngineParams];
    for (int p = 0; p < e.nvaried; ++p) enters[p] = entered_by(g, m, e.varied[p]);
    double t[kMaxTerms + 1];
    double prefix[kMaxTerms + 1];
    auto finish = [&](double v) { return finish_value(g.log_result, g.sqrt_result, v); };
    // The value at x with slot j moved to v (the parameter enters k).
    auto moved_value = [&](int j, int k, double v, double x) {
        const double keep = a[j];
        a[j] = v;
        double f2;
        if (k == kEverything)
            f2 = full_sum(g, a, m, x);
        else if (k == kStart)
            f2 = add_terms(t, start_value(g, a, x), 0, m);
        else
            f2 = add_terms(t, prefix[k - 1] + term(g, a, k, x), k, m);
        a[j] = keep;
        return finish(f2);
    };
    for (int i = begin; i < end; ++i) {
        const double x = e.x[i];
        t[0] = start_value(g, a, x);
        for (int k = 1; k <= m; ++k) t[k] = term(g, a, k, x);
        double s = t[0];
        prefix[0] = s;
        for (int k = 1; k <= m; ++k) {
            s += t[k];
            prefix[k] = s;
        }
        e.model[i] = finish(s);
        if (!derivs) continue;
        const double c = finish_slope(g.log_result, g.sqrt_result, s);
        auto& row = e.point_deriv[i];
        for (int p = 0; p < e.nvaried; ++p) {
            const int j = e.varied[p];
            const int k = enters[p];
            if (analytic) {
                row[p] = c * analytic_derivative(g, a, m, j, k, x);
            } else if (k == kNotRead) {
                row[p] = 0.0;
            } else {
                // The five-point central rule.
                const double h = steps[p], at = a[j];
                row[p] = (8.0 * (moved_value(j, k, at + h, x) - moved_value(j, k, at - h, x)) -
                          (moved_value(j, k, at + 2.0 * h, x) - moved_value(j, k, at - 2.0 * h, x))) /
                         (12.0 * h);
            }
        }
    }
}

} // namespace

bool has_term_series_kernel(int function, int nparams) {
    switch (function) {
    case 19:
    case 21:
    case 30: return true;
    case 2: return nparams <= 3 || nparams - 2 <= kMaxTerms;
    default: return false;
    }
}

PointKernel term_series_kernel(const TermSeries& series) {
    PointKernel k;
    k.run = run;
    k.precise = precise;
    k.precise_analytic = series.function == 2 || series.function == 21;
    k.context = &series;
    return k;
}

} // namespace tarva
