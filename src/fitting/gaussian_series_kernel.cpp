#include "fitting/gaussian_series_kernel.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

#include "models/functions.h"

namespace tarva {

namespace {

constexpr int kMaxPeaks = 16;

// exp of anything below this is exactly 0 in double precision (the
// smallest subnormal is exp(-744.44)).
constexpr double kExpUnderflow = -746.0;

// One peak term, computed exactly as function 18 computes it.
inline double peak(double height, double centre, double fwhm, double x) {
    if (std::abs(height) <= 1e-20 || std::abs(fwhm) <= 1e-20) return 0.0;
    const double u = x - centre;
    const double z = -model_functions::kGaussFactor * u * u / (fwhm * fwhm);
    if (z < kExpUnderflow) return height * 0.0;
    return height * std::exp(z);
}

// Stands for the exponent of a term more than 20 widths from its centre.
constexpr double kFarExponent = -1100.0;

// The same term, also handing back its exponent z and exp(z) (or 0 when
// the exponent underflows); `computed` is false when the guard left the
// peak out and no exponent was formed.
inline double peak_parts(double height, double centre, double fwhm, double x, double& z, double& ez, bool& computed) {
    computed = false;
    if (std::abs(height) <= 1e-20 || std::abs(fwhm) <= 1e-20) return 0.0;
    computed = true;
    const double u = x - centre;
    // Beyond 20 widths the exponent is below -1100 and exp(z) would be 0:
    // the division is saved. (The bound holds for any u; a width below 1e150
    // keeps fwhm * fwhm finite, so the exponent computed in full is no NaN.)
    if (std::abs(u) > 20.0 * std::abs(fwhm) && std::abs(fwhm) < 1e150) {
        z = kFarExponent;
        ez = 0.0;
        return height * ez;
    }
    z = -model_functions::kGaussFactor * u * u / (fwhm * fwhm);
    ez = z < kExpUnderflow ? 0.0 : std::exp(z);
    return height * ez;
}

// Far enough below the underflow limit that a relative change of the
// exponent by a few parts in a thousand still underflows.
constexpr double kDeepUnderflow = -800.0;

inline double finish(const GaussianSeries& g, double v) { return finish_value(g.log_result, g.sqrt_result, v); }

int peak_count(int n) { return n >= 2 ? std::min((n - 2) / 3, kMaxPeaks) : 0; }

// Terms of one point and their partial sums.
struct PointTerms {
    double t[kMaxPeaks + 1];      // t[k]: peak k (1-based)
    double prefix[kMaxPeaks + 1]; // prefix[k]: line plus peaks 1..k
    int nonzero[kMaxPeaks + 1];   // peaks whose term is not +0 or -0, ascending
    int count = 0;                // entries of nonzero
    int after[kMaxPeaks + 1];     // after[k]: first entry of nonzero beyond peak k
    double z[kMaxPeaks + 1];      // exponent of peak k
    double ez[kMaxPeaks + 1];     // exp of it (0 below the underflow limit)
    bool computed[kMaxPeaks + 1]; // the guard let peak k be computed
    bool flank[kMaxPeaks + 1];    // on_flank(k)
};

// Whether peak k's term lies so far out on its flank that neither the term
// nor the term after a forward step of one of its parameters can change the
// partial sum it is added to: both stay below a quarter of the last place of
// that sum, so prefix[k-1] + term rounds to prefix[k-1] either way and the
// model value is exactly f (the derivative exactly 0).
//
// The stepped term is at most |t| e^D (1 + a few ulps), D the rise of the
// exponent, which the callers keep below 1; requiring 4|t| below the limit
// covers it. exp(z) must be a normal number for that relative bound to hold.
constexpr double kNormalExp = 1e-290;

inline bool on_flank(const PointTerms& pt, int k) {
    return pt.computed[k] && pt.ez[k] >= kNormalExp && 4.0 * std::abs(pt.t[k]) < std::abs(pt.prefix[k - 1]) * 0x1p-55;
}

inline double line(int n, double a1, double a2, double x) { return n == 1 ? a1 : a1 + a2 * x; }

// Peaks k+1..peaks added to s in order. A zero term changes the sum only
// when the sum itself is zero (the sign of a zero), so zero terms are added
// only then and otherwise passed over.
inline double add_from(const PointTerms& pt, double s, int k, int peaks) {
    int done = k;
    for (int q = pt.after[k]; q < pt.count; ++q) {
        const int m = pt.nonzero[q];
        if (s == 0.0)
            for (int z = done + 1; z < m; ++z) s += pt.t[z];
        s += pt.t[m];
        done = m;
    }
    if (s == 0.0)
        for (int z = done + 1; z <= peaks; ++z) s += pt.t[z];
    return s;
}

// What a forward step of each varied parameter moves; the same at every point.
enum class Moves { intercept, gradient, height, centre, width, nothing };

struct StepPlan {
    Moves moves[kEngineParams];
    int peak[kEngineParams];
    double h[kEngineParams];
    double moved[kEngineParams];
    // Width steps small enough that deep in the underflow the term stays 0.
    bool width_step_tiny[kEngineParams];
    // No step is NaN (a NaN parameter makes every derivative NaN).
    bool regular = true;
    // The varied intercept and gradient.
    int line_params[2];
    int nline = 0;
    // Per peak: its varied parameters, and what decides at a point whether
    // all their derivatives are known to be 0 without forming them.
    int peak_params[kMaxPeaks + 1][3];
    int peak_nparams[kMaxPeaks + 1];
    bool on[kMaxPeaks + 1];                // the guard lets the peak be computed
    double centre_h[kMaxPeaks + 1];        // the centre's step (0: not varied)
    bool width_tiny[kMaxPeaks + 1];        // width not varied, or its step tiny
    bool height_keeps_sign[kMaxPeaks + 1]; // height not varied, or its stepped
                                           // value passes the guard with the same sign
};

void plan_steps(const EngineState& e, const double* a, int n, int peaks, StepPlan& plan) {
    plan.regular = true;
    plan.nline = 0;
    for (int k = 1; k <= peaks; ++k) {
        plan.peak_nparams[k] = 0;
        plan.on[k] = std::abs(a[3 * k - 1]) > 1e-20 && std::abs(a[3 * k + 1]) > 1e-20;
        plan.centre_h[k] = 0.0;
        plan.width_tiny[k] = true;
        plan.height_keeps_sign[k] = true;
    }
    for (int p = 0; p < e.nvaried; ++p) {
        const int j = e.varied[p];
        const double h = forward_step(a[j]);
        plan.h[p] = h;
        plan.moved[p] = a[j] + h;
        plan.peak[p] = 0;
        plan.width_step_tiny[p] = false;
        if (std::isnan(h)) plan.regular = false;
        if (j == 0) {
            plan.moves[p] = Moves::intercept;
            plan.line_params[plan.nline++] = p;
        } else if (j == 1 && n >= 2) {
            plan.moves[p] = Moves::gradient;
            plan.line_params[plan.nline++] = p;
        } else if (j >= 2 && j < 2 + 3 * peaks) {
            const int k = (j - 2) / 3 + 1;
            plan.peak[p] = k;
            plan.peak_params[k][plan.peak_nparams[k]++] = p;
            plan.moves[p] = (j - 2) % 3 == 0 ? Moves::height : (j - 2) % 3 == 1 ? Moves::centre : Moves::width;
            const double wid = a[3 * k + 1];
            plan.width_step_tiny[p] = std::isfinite(h) && std::abs(wid) > 1e-19 && h <= 1e-3 * std::abs(wid);
            if (plan.moves[p] == Moves::centre) plan.centre_h[k] = h;
            if (plan.moves[p] == Moves::width) plan.width_tiny[k] = plan.width_step_tiny[p];
            if (plan.moves[p] == Moves::height)
                plan.height_keeps_sign[k] =
                    std::abs(plan.moved[p]) > 1e-20 && std::signbit(plan.moved[p]) == std::signbit(a[j]);
        } else {
            plan.moves[p] = Moves::nothing;
        }
    }
}

// Whether every derivative of peak k at this point is known to be exactly 0
// (f finite, no step NaN) without forming it: the conditions under which
// derivative() below leaves each of the peak's parameters unchanged.
inline bool quiet(const PointTerms& pt, const StepPlan& plan, int k, double u) {
    if (pt.flank[k] && std::abs(pt.z[k]) * plan.centre_h[k] <= 0.25 * std::abs(u)) return true;
    // Deep in the underflow the term is 0 and stays 0: the stepped height
    // times exp(z) = 0 is a zero of the same sign, and small steps of the
    // centre and width leave the exponent far below the limit.
    return pt.computed[k] && pt.z[k] < kDeepUnderflow && plan.width_tiny[k] && plan.height_keeps_sign[k] &&
           std::isfinite(u) && plan.centre_h[k] <= 1e-3 * std::abs(u);
}

// The forward-difference derivative of the model at x with respect to the
// p-th varied parameter, f the value at the unchanged parameters.
inline double derivative(const GaussianSeries& g, const PointTerms& pt, const StepPlan& plan, const double* a, int n,
                         int peaks, double x, double f, bool f_finite, int p) {
    const double h = plan.h[p];
    const double moved = plan.moved[p];
    const int k = plan.peak[p];
    double f2 = f;
    double t2 = 0.0;
    bool unchanged = true;
    switch (plan.moves[p]) {
    case Moves::intercept: f2 = finish(g, add_from(pt, line(n, moved, a[1], x), 0, peaks)); break;
    case Moves::gradient: f2 = finish(g, add_from(pt, line(n, a[0], moved, x), 0, peaks)); break;
    case Moves::height:
        // The exponent does not depend on the height.
        if (pt.flank[k]) break;
        unchanged = false;
        if (pt.computed[k] && std::abs(moved) > 1e-20)
            t2 = moved * pt.ez[k];
        else
            t2 = peak(moved, a[3 * k], a[3 * k + 1], x);
        break;
    case Moves::centre: {
        // Deep in the underflow a tiny shift of the centre leaves the term
        // exactly as it was. On the flank the shift raises the exponent by at
        // most about 2|z|h/|u|, which the condition keeps near 0.5 (below 1
        // with room for the rounding of u and of the step).
        const double u = x - a[3 * k];
        unchanged = (pt.computed[k] && pt.z[k] < kDeepUnderflow && std::isfinite(u) && std::isfinite(h) &&
                     h <= 1e-3 * std::abs(u)) ||
                    (pt.flank[k] && std::abs(pt.z[k]) * h <= 0.25 * std::abs(u));
        if (!unchanged) t2 = peak(a[3 * k - 1], moved, a[3 * k + 1], x);
        break;
    }
    case Moves::width:
        // A relative step of 1e-7 of the width changes an exponent above
        // -668 by less than 2e-4.
        unchanged = (pt.computed[k] && pt.z[k] < kDeepUnderflow && plan.width_step_tiny[p]) || pt.flank[k];
        if (!unchanged) t2 = peak(a[3 * k - 1], a[3 * k], moved, x);
        break;
    case Moves::nothing:
        // The model does not read this slot: the value is f.
        break;
    }
    if (!unchanged && !same_bits(t2, pt.t[k])) {
        // A partial sum that comes out as before leaves every later sum,
        // and so the value, as before.
        const double s = pt.prefix[k - 1] + t2;
        if (!same_bits(s, pt.prefix[k])) f2 = finish(g, add_from(pt, s, k, peaks));
    }
    return zero_or_quotient(f2, f, f_finite, h);
}

// Layout of what a pass of values keeps per point: the exponent of each
// peak, then exp of it.
constexpr int kKeptZ = 0;
constexpr int kKeptExp = kMaxPeaks;
static_assert(2 * kMaxPeaks <= EngineState::kKeptTerms, "room for the kept terms");

void run(const PointKernel& self, EngineState& e, int begin, int end, bool derivs) {
    const GaussianSeries& g = *static_cast<const GaussianSeries*>(self.context);
    const int n = g.nparams;
    const int peaks = peak_count(n);
    // A private copy of the parameters: the threads must not share the
    // working vector while they perturb it.
    double a[kEngineParams];
    std::copy(e.a.begin(), e.a.end(), a);
    StepPlan plan;
    plan_steps(e, a, n, peaks, plan);
    // The pass of values just before (the chi-square after a step) left
    // each point's exponents and exponentials, at these very parameters.
    const bool reuse = derivs && terms_kept_for(self, e, a);
    PointTerms pt;
    for (int i = begin; i < end; ++i) {
        const double x = e.x[i];
        double s = line(n, a[0], a[1], x);
        pt.prefix[0] = s;
        auto& kept = e.point_terms[i];
        for (int k = 1; k <= peaks; ++k) {
            double t;
            if (reuse) {
                pt.computed[k] = plan.on[k];
                pt.z[k] = kept[kKeptZ + k - 1];
                pt.ez[k] = kept[kKeptExp + k - 1];
                t = plan.on[k] ? a[3 * k - 1] * pt.ez[k] : 0.0;
            } else {
                t = peak_parts(a[3 * k - 1], a[3 * k], a[3 * k + 1], x, pt.z[k], pt.ez[k], pt.computed[k]);
                if (!derivs) {
                    kept[kKeptZ + k - 1] = pt.computed[k] ? pt.z[k] : 0.0;
                    kept[kKeptExp + k - 1] = pt.computed[k] ? pt.ez[k] : 0.0;
                }
            }
            pt.t[k] = t;
            s += t;
            pt.prefix[k] = s;
        }
        const double f = finish(g, s);
        e.model[i] = f;
        if (!derivs) continue;
        // Branch-free: after[k] counts the nonzero terms up to peak k.
        pt.count = 0;
        pt.after[0] = 0;
        for (int k = 1; k <= peaks; ++k) {
            pt.nonzero[pt.count] = k;
            pt.count += pt.t[k] != 0.0;
            pt.after[k] = pt.count;
        }
        const bool f_finite = std::isfinite(f);
        auto& row = e.point_deriv[i];
        for (int k = 1; k <= peaks; ++k) pt.flank[k] = on_flank(pt, k);
        if (!f_finite || !plan.regular) {
            for (int p = 0; p < e.nvaried; ++p) row[p] = derivative(g, pt, plan, a, n, peaks, x, f, f_finite, p);
            continue;
        }
        // Only the line and the peaks that are not quiet here are worked
        // out; every other derivative is +0.
        std::fill_n(row.begin(), e.nvaried, 0.0);
        for (int q = 0; q < plan.nline; ++q) {
            const int p = plan.line_params[q];
            row[p] = derivative(g, pt, plan, a, n, peaks, x, f, true, p);
        }
        for (int k = 1; k <= peaks; ++k) {
            if (plan.peak_nparams[k] == 0 || quiet(pt, plan, k, x - a[3 * k])) continue;
            for (int q = 0; q < plan.peak_nparams[k]; ++q) {
                const int p = plan.peak_params[k][q];
                row[p] = derivative(g, pt, plan, a, n, peaks, x, f, true, p);
            }
        }
    }
}

} // namespace

PointKernel gaussian_series_kernel(const GaussianSeries& series) {
    PointKernel k;
    k.run = run;
    k.context = &series;
    return k;
}

double gaussian_series_value(const GaussianSeries& g, const double* a, float xs) {
    const double x = xs;
    const int peaks = peak_count(g.nparams);
    double s = line(g.nparams, a[0], a[1], x);
    for (int k = 1; k <= peaks; ++k) s += peak(a[3 * k - 1], a[3 * k], a[3 * k + 1], x);
    return finish(g, s);
}

} // namespace tarva
