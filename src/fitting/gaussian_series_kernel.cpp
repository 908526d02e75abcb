#include "fitting/gaussian_series_kernel.h"

#include <algorithm>
#include <array>
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
    const double z = -model_functions::kGaussFactor * (u * u) / (fwhm * fwhm);
    if (z < kExpUnderflow) return height * 0.0;
    return height * std::exp(z);
}

// Far from its centre: more than this many widths, where the exponent is
// below -801.28 (kGaussFactor times 17 squared), deep in the underflow.
constexpr double kFarWidths = 17.0;
// Stands for the exponent of a term that far out; every test of it is a
// comparison with kDeepUnderflow (-800), which the true one passes too.
constexpr double kFarExponent = -801.0;

// Whether x is far from the centre, where exp of the exponent would be 0.
// (The bound holds for any u; a width below 1e150 keeps fwhm * fwhm finite,
// so the exponent computed in full is no NaN.)
inline bool far_from(double x, double centre, double fwhm) {
    return std::abs(x - centre) > kFarWidths * std::abs(fwhm) && std::abs(fwhm) < 1e150;
}

// The same term, also handing back its exponent z and exp(z) (or 0 when
// the exponent underflows); `computed` is false when the guard left the
// peak out and no exponent was formed.
inline double peak_parts(double height, double centre, double fwhm, double x, double& z, double& ez, bool& computed) {
    computed = false;
    if (std::abs(height) <= 1e-20 || std::abs(fwhm) <= 1e-20) return 0.0;
    computed = true;
    // Far out the division is saved.
    if (far_from(x, centre, fwhm)) {
        z = kFarExponent;
        ez = 0.0;
        return height * ez;
    }
    const double u = x - centre;
    z = -model_functions::kGaussFactor * (u * u) / (fwhm * fwhm);
    ez = z < kExpUnderflow ? 0.0 : std::exp(z);
    return height * ez;
}

// Far enough below the underflow limit that a relative change of the
// exponent by a few parts in a thousand still underflows.
constexpr double kDeepUnderflow = -800.0;

inline double finish(const GaussianSeries& g, double v) { return finish_value(g.log_result, g.sqrt_result, v); }

int peak_count(int n) { return n >= 2 ? std::min((n - 2) / 3, kMaxPeaks) : 0; }

// Terms of one point and their partial sums, by slot. In the full layout
// slot k holds peak k; in the compact layout the slots hold, in ascending
// order, only the peaks that are near the point (see PeakWindows).
struct PointTerms {
    int slots = 0;                // slots in use, 1..slots
    double t[kMaxPeaks + 1];      // t[k]: the term of slot k (1-based)
    double prefix[kMaxPeaks + 1]; // prefix[k]: line plus slots 1..k
    double z[kMaxPeaks + 1];      // exponent of the slot's peak
    double ez[kMaxPeaks + 1];     // exp of it (0 below the underflow limit)
    bool computed[kMaxPeaks + 1]; // the guard let the peak be computed
    bool flank[kMaxPeaks + 1];    // on_flank(k)
    // Full layout only: the slots whose term is not +0 or -0, ascending.
    int nonzero[kMaxPeaks + 1];
    int count = 0;            // entries of nonzero
    int after[kMaxPeaks + 1]; // after[k]: first entry of nonzero beyond slot k
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

// Slots k+1.. added to s in order. A zero term changes the sum only when
// the sum itself is zero (the sign of a zero), so in the full layout zero
// terms are added only then and otherwise passed over. The compact layout
// leaves out the peaks far from the point, whose terms are zeros: its sums
// equal the full ones, or both are zeros, possibly of other signs (adding a
// zero to a number that is not zero leaves it as it was). `zero_sum` is
// set when a compact sum comes out zero, so that the caller can take the
// point again in the full layout.
template <bool Compact>
inline double add_from(const PointTerms& pt, double s, int k, bool& zero_sum) {
    if constexpr (Compact) {
        for (int q = k + 1; q <= pt.slots; ++q) s += pt.t[q];
        zero_sum |= s == 0.0;
        return s;
    }
    int done = k;
    for (int q = pt.after[k]; q < pt.count; ++q) {
        const int m = pt.nonzero[q];
        if (s == 0.0)
            for (int z = done + 1; z < m; ++z) s += pt.t[z];
        s += pt.t[m];
        done = m;
    }
    if (s == 0.0)
        for (int z = done + 1; z <= pt.slots; ++z) s += pt.t[z];
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
// (Slot `q` of the terms holds peak k.)
inline bool quiet(const PointTerms& pt, const StepPlan& plan, int k, int q, double u) {
    if (pt.flank[q] && std::abs(pt.z[q]) * plan.centre_h[k] <= 0.25 * std::abs(u)) return true;
    // Deep in the underflow the term is 0 and stays 0: the stepped height
    // times exp(z) = 0 is a zero of the same sign, and small steps of the
    // centre and width leave the exponent far below the limit.
    return pt.computed[q] && pt.z[q] < kDeepUnderflow && plan.width_tiny[k] && plan.height_keeps_sign[k] &&
           std::isfinite(u) && plan.centre_h[k] <= 1e-3 * std::abs(u);
}

// The forward-difference derivative of the model at x with respect to the
// p-th varied parameter, f the value at the unchanged parameters. The
// parameter's peak (if any) is in slot q of the terms.
template <bool Compact>
inline double derivative(const GaussianSeries& g, const PointTerms& pt, const StepPlan& plan, const double* a, int n,
                         double x, double f, bool f_finite, int p, int q, bool& zero_sum) {
    const double h = plan.h[p];
    const double moved = plan.moved[p];
    const int k = plan.peak[p];
    double f2 = f;
    double t2 = 0.0;
    bool unchanged = true;
    switch (plan.moves[p]) {
    case Moves::intercept: f2 = finish(g, add_from<Compact>(pt, line(n, moved, a[1], x), 0, zero_sum)); break;
    case Moves::gradient: f2 = finish(g, add_from<Compact>(pt, line(n, a[0], moved, x), 0, zero_sum)); break;
    case Moves::height:
        // The exponent does not depend on the height.
        if (pt.flank[q]) break;
        unchanged = false;
        if (pt.computed[q] && std::abs(moved) > 1e-20)
            t2 = moved * pt.ez[q];
        else
            t2 = peak(moved, a[3 * k], a[3 * k + 1], x);
        break;
    case Moves::centre: {
        // Deep in the underflow a tiny shift of the centre leaves the term
        // exactly as it was. On the flank the shift raises the exponent by at
        // most about 2|z|h/|u|, which the condition keeps near 0.5 (below 1
        // with room for the rounding of u and of the step).
        const double u = x - a[3 * k];
        unchanged = (pt.computed[q] && pt.z[q] < kDeepUnderflow && std::isfinite(u) && std::isfinite(h) &&
                     h <= 1e-3 * std::abs(u)) ||
                    (pt.flank[q] && std::abs(pt.z[q]) * h <= 0.25 * std::abs(u));
        if (!unchanged) t2 = peak(a[3 * k - 1], moved, a[3 * k + 1], x);
        break;
    }
    case Moves::width:
        // A relative step of 1e-7 of the width changes an exponent above
        // -668 by less than 2e-4.
        unchanged = (pt.computed[q] && pt.z[q] < kDeepUnderflow && plan.width_step_tiny[p]) || pt.flank[q];
        if (!unchanged) t2 = peak(a[3 * k - 1], a[3 * k], moved, x);
        break;
    case Moves::nothing:
        // The model does not read this slot: the value is f.
        break;
    }
    if (!unchanged && !same_bits(t2, pt.t[q])) {
        // A partial sum that comes out as before leaves every later sum,
        // and so the value, as before.
        const double s = pt.prefix[q - 1] + t2;
        if (!same_bits(s, pt.prefix[q])) f2 = finish(g, add_from<Compact>(pt, s, q, zero_sum));
    }
    return zero_or_quotient(f2, f, f_finite, h);
}

// Layout of what a pass of values keeps per point: the exponent of each
// peak, then exp of it.
constexpr int kKeptZ = 0;
constexpr int kKeptExp = kMaxPeaks;
static_assert(2 * kMaxPeaks <= EngineState::kKeptTerms, "room for the kept terms");

// Peak k's parts at point i into slot q: taken from the pass of values
// before (`reuse`), or formed afresh and, in a pass of values, kept. A pass
// of values may have left out the peaks far from the point (see
// PeakWindows), so their parts are not read from it but known: far out
// peak_parts() forms no exponent and gives the far zero. (`near`: the
// peak is known not to be far here.)
[[gnu::always_inline]] inline void peak_into(const StepPlan& plan, const double* a, int k, double x, bool reuse,
                                             bool keep, bool near, std::array<double, EngineState::kKeptTerms>& kept,
                                             PointTerms& pt, int q) {
    if (reuse) {
        pt.computed[q] = plan.on[k];
        if (plan.on[k] && !near && far_from(x, a[3 * k], a[3 * k + 1])) {
            pt.z[q] = kFarExponent;
            pt.ez[q] = 0.0;
        } else {
            pt.z[q] = kept[kKeptZ + k - 1];
            pt.ez[q] = kept[kKeptExp + k - 1];
        }
        pt.t[q] = plan.on[k] ? a[3 * k - 1] * pt.ez[q] : 0.0;
        return;
    }
    pt.t[q] = peak_parts(a[3 * k - 1], a[3 * k], a[3 * k + 1], x, pt.z[q], pt.ez[q], pt.computed[q]);
    if (keep) {
        kept[kKeptZ + k - 1] = pt.computed[q] ? pt.z[q] : 0.0;
        kept[kKeptExp + k - 1] = pt.computed[q] ? pt.ez[q] : 0.0;
    }
}

// Where each peak has to be computed in one pass over a piece of points.
//
// Far from its centre (kFarWidths) a peak's term is a zero, and under
// the conditions quiet() checks each of its derivatives is +0. On points
// sorted by x the points where a peak is near (not that far) follow one
// another, so two binary searches find them; elsewhere the peak is left out
// of the point's terms (the compact layout of PointTerms) and its
// derivatives stay +0. P1's peaks are near about a third of the points.
struct PeakWindows {
    bool usable = false;     // the piece's x are finite and ascending
    unsigned everywhere = 0; // bit k: peak k is computed at every point
    struct Change {
        int at;       // first point of the change
        bool enters;  // the peak enters the set (else it leaves it)
        unsigned bit; // the peak's bit
    };
    Change changes[2 * kMaxPeaks];
    int nchanges = 0;
};

// x[begin..end) finite and ascending.
bool sorted_and_finite(const EngineState& e, int begin, int end) {
    for (int i = begin; i < end; ++i)
        if (!std::isfinite(e.x[i]) || (i > begin && e.x[i] < e.x[i - 1])) return false;
    return true;
}

void find_windows(const EngineState& e, const double* a, const StepPlan& plan, int peaks, int begin, int end,
                  bool derivs, PeakWindows& w) {
    w.usable = sorted_and_finite(e, begin, end);
    w.everywhere = 0;
    w.nchanges = 0;
    if (!w.usable) return;
    const float* x = e.x.data();
    for (int k = 1; k <= peaks; ++k) {
        const double height = a[3 * k - 1], centre = a[3 * k], fwhm = a[3 * k + 1];
        // A left-out peak must have the far zero as its term: a finite
        // height (infinity times 0 is NaN) and a width for which
        // peak_parts() makes the far test.
        bool windowed = plan.on[k] && std::isfinite(height) && std::isfinite(centre) && std::abs(fwhm) < 1e150;
        // In a pass of derivatives its derivatives must be quiet wherever
        // it is far: there |u| > 17 |fwhm|, so a centre step below 0.0169
        // |fwhm| is below 1e-3 |u| with room for the roundings.
        if (derivs)
            windowed = windowed && plan.width_tiny[k] && plan.height_keeps_sign[k] &&
                       plan.centre_h[k] <= 0.0169 * std::abs(fwhm);
        const unsigned bit = 1u << k;
        if (!windowed) {
            w.everywhere |= bit;
            continue;
        }
        // The near points are those with -limit <= x - centre <= limit, as
        // far_from() rounds it; x - centre rises with x.
        const double limit = kFarWidths * std::abs(fwhm);
        const int lo =
            static_cast<int>(std::partition_point(x + begin, x + end,
                                                  [&](float v) { return static_cast<double>(v) - centre < -limit; }) -
                             x);
        const int hi = static_cast<int>(
            std::partition_point(x + lo, x + end, [&](float v) { return static_cast<double>(v) - centre <= limit; }) -
            x);
        if (lo == hi) continue;
        w.changes[w.nchanges++] = {lo, true, bit};
        w.changes[w.nchanges++] = {hi, false, bit};
    }
    std::sort(w.changes, w.changes + w.nchanges,
              [](const PeakWindows::Change& l, const PeakWindows::Change& r) { return l.at < r.at; });
}

// One point in the full layout: every peak in its own slot.
void full_point(const GaussianSeries& g, EngineState& e, const StepPlan& plan, const double* a, int n, int peaks,
                bool reuse, bool derivs, int i, PointTerms& pt) {
    const double x = e.x[i];
    double s = line(n, a[0], a[1], x);
    pt.prefix[0] = s;
    pt.slots = peaks;
    auto& kept = e.point_terms[i];
    for (int k = 1; k <= peaks; ++k) {
        peak_into(plan, a, k, x, reuse, !derivs, false, kept, pt, k);
        s += pt.t[k];
        pt.prefix[k] = s;
    }
    const double f = finish(g, s);
    e.model[i] = f;
    if (!derivs) return;
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
    bool unused = false;
    if (!f_finite || !plan.regular) {
        for (int p = 0; p < e.nvaried; ++p)
            row[p] = derivative<false>(g, pt, plan, a, n, x, f, f_finite, p, plan.peak[p], unused);
        return;
    }
    // Only the line and the peaks that are not quiet here are worked out;
    // every other derivative is +0.
    std::fill_n(row.begin(), e.nvaried, 0.0);
    for (int q = 0; q < plan.nline; ++q) {
        const int p = plan.line_params[q];
        row[p] = derivative<false>(g, pt, plan, a, n, x, f, true, p, 0, unused);
    }
    for (int k = 1; k <= peaks; ++k) {
        if (plan.peak_nparams[k] == 0 || quiet(pt, plan, k, k, x - a[3 * k])) continue;
        for (int q = 0; q < plan.peak_nparams[k]; ++q) {
            const int p = plan.peak_params[k][q];
            row[p] = derivative<false>(g, pt, plan, a, n, x, f, true, p, k, unused);
        }
    }
}

// One point in the compact layout: only the peaks of `active` (bit k for
// peak k; those not in `everywhere` are near the point). False when a sum came out zero, or the value or a step is not
// finite: the point must then be taken in the full layout, which writes
// everything again.
bool compact_point(const GaussianSeries& g, EngineState& e, const StepPlan& plan, const double* a, int n, bool reuse,
                   bool derivs, int i, unsigned active, unsigned everywhere, PointTerms& pt, int* peak_of) {
    const double x = e.x[i];
    double s = line(n, a[0], a[1], x);
    pt.prefix[0] = s;
    // While no partial sum is zero the full layout's sums are the same
    // numbers (it adds zeros to them).
    bool zero_sum = s == 0.0;
    auto& kept = e.point_terms[i];
    int q = 0;
    for (unsigned b = active; b != 0; b &= b - 1) {
        const int k = std::countr_zero(b);
        peak_of[++q] = k;
        peak_into(plan, a, k, x, reuse, !derivs, (everywhere & (1u << k)) == 0, kept, pt, q);
        s += pt.t[q];
        pt.prefix[q] = s;
        zero_sum |= s == 0.0;
    }
    pt.slots = q;
    const double f = finish(g, s);
    if (!derivs) {
        // A value is the full layout's unless the sum is zero.
        if (s == 0.0) return false;
        e.model[i] = f;
        return true;
    }
    if (zero_sum || !std::isfinite(f) || !plan.regular) return false;
    e.model[i] = f;
    for (int j = 1; j <= q; ++j) pt.flank[j] = on_flank(pt, j);
    auto& row = e.point_deriv[i];
    std::fill_n(row.begin(), e.nvaried, 0.0);
    for (int l = 0; l < plan.nline; ++l) {
        const int p = plan.line_params[l];
        row[p] = derivative<true>(g, pt, plan, a, n, x, f, true, p, 0, zero_sum);
    }
    for (int j = 1; j <= q; ++j) {
        const int k = peak_of[j];
        if (plan.peak_nparams[k] == 0 || quiet(pt, plan, k, j, x - a[3 * k])) continue;
        for (int l = 0; l < plan.peak_nparams[k]; ++l) {
            const int p = plan.peak_params[k][l];
            row[p] = derivative<true>(g, pt, plan, a, n, x, f, true, p, j, zero_sum);
        }
    }
    return !zero_sum;
}

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
    PeakWindows w;
    find_windows(e, a, plan, peaks, begin, end, derivs, w);
    PointTerms pt;
    if (!w.usable) {
        for (int i = begin; i < end; ++i) full_point(g, e, plan, a, n, peaks, reuse, derivs, i, pt);
        return;
    }
    int peak_of[kMaxPeaks + 1];
    unsigned active = w.everywhere;
    int c = 0;
    for (int i = begin; i < end; ++i) {
        for (; c < w.nchanges && w.changes[c].at <= i; ++c)
            active = w.changes[c].enters ? active | w.changes[c].bit : active & ~w.changes[c].bit;
        if (!compact_point(g, e, plan, a, n, reuse, derivs, i, active, w.everywhere, pt, peak_of))
            full_point(g, e, plan, a, n, peaks, reuse, derivs, i, pt);
    }
}

// Values and analytic derivatives for the fit to convergence. With
// z = -K u^2 / w^2 (u = x - c) a peak h exp(z) has the derivatives exp(z),
// h exp(z) 2K u / w^2 and h exp(z) 2K u^2 / w^3 with respect to height,
// centre and width. Where exp(z) is below about 4e-18 (beyond 3.8 widths)
// the derivatives are left at 0: they would add less than the rounding of
// every sum of the normal equations they enter (the peak's own largest
// entries are near 1 times its height's scale), and zeros let those sums
// pass them over. Each point lists the columns it wrote. The result options enter through the slope of
// finish_value. On sorted points each peak is computed only on the run of
// points within kFarWidths of its centre (two binary searches), as in the
// pass of values.
constexpr double kNegligibleExponent = -40.0;

// Peak k's value into s and its derivatives into the row, at x.
template <bool Derivs>
[[gnu::always_inline]] inline void precise_peak(const double* a, int k, const int* col, double x, double& s,
                                                double* row, unsigned char* list, int& count) {
    const double h = a[3 * k - 1], c = a[3 * k], w = a[3 * k + 1];
    if (std::abs(w) <= 1e-20 || far_from(x, c, w)) return;
    const double u = x - c;
    const double z = -model_functions::kGaussFactor * (u * u) / (w * w);
    if (z < kExpUnderflow) return;
    const double ez = std::exp(z);
    // The evaluator leaves a height below its guard out of the value; its
    // slope exp(z) is still the derivative a fit needs to move it.
    if (std::abs(h) > 1e-20) s += h * ez;
    if (!Derivs || z < kNegligibleExponent) return;
    const double common = h * ez * 2.0 * model_functions::kGaussFactor / (w * w);
    for (int j = 3 * k - 1; j <= 3 * k + 1; ++j)
        if (col[j] >= 0) list[count++] = static_cast<unsigned char>(col[j]);
    if (col[3 * k - 1] >= 0) row[col[3 * k - 1]] = ez;
    if (col[3 * k] >= 0) row[col[3 * k]] = common * u;
    if (col[3 * k + 1] >= 0) row[col[3 * k + 1]] = common * (u * u) / w;
}

void precise(const PointKernel& self, EngineState& e, int begin, int end, bool derivs, const double*) {
    const GaussianSeries& g = *static_cast<const GaussianSeries*>(self.context);
    const int n = g.nparams;
    const int peaks = peak_count(n);
    const double* a = e.a.data();
    // The column of each slot's derivative, -1 where the slot is fixed.
    int col[kEngineParams];
    std::fill_n(col, kEngineParams, -1);
    for (int p = 0; p < e.nvaried; ++p) col[e.varied[p]] = p;
    // Line first (the sums start with it), zeros for every peak entry.
    for (int i = begin; i < end; ++i) {
        const double x = e.x[i];
        e.model[i] = line(n, a[0], a[1], x);
        if (!derivs) continue;
        auto& row = e.point_deriv[i];
        std::fill_n(row.begin(), e.nvaried, 0.0);
        int& count = e.nonzero_count[i];
        count = 0;
        if (col[0] >= 0) {
            row[col[0]] = 1.0;
            e.nonzero[i][count++] = static_cast<unsigned char>(col[0]);
        }
        if (n >= 2 && col[1] >= 0) {
            row[col[1]] = x;
            e.nonzero[i][count++] = static_cast<unsigned char>(col[1]);
        }
    }
    // Then the peaks in their order, each point's sum formed as a full
    // evaluation forms it (a peak left out is a zero there).
    const bool sorted = sorted_and_finite(e, begin, end);
    const float* xs = e.x.data();
    for (int k = 1; k <= peaks; ++k) {
        int lo = begin, hi = end;
        const double c = a[3 * k], w = a[3 * k + 1];
        if (sorted && std::isfinite(c) && std::abs(w) < 1e150) {
            const double limit = kFarWidths * std::abs(w);
            lo = static_cast<int>(std::partition_point(xs + begin, xs + end,
                                                       [&](float v) { return static_cast<double>(v) - c < -limit; }) -
                                  xs);
            hi = static_cast<int>(
                std::partition_point(xs + lo, xs + end, [&](float v) { return static_cast<double>(v) - c <= limit; }) -
                xs);
        }
        if (derivs)
            for (int i = lo; i < hi; ++i)
                precise_peak<true>(a, k, col, e.x[i], e.model[i], e.point_deriv[i].data(), e.nonzero[i].data(),
                                   e.nonzero_count[i]);
        else
            for (int i = lo; i < hi; ++i) {
                int unused = 0;
                precise_peak<false>(a, k, col, e.x[i], e.model[i], nullptr, nullptr, unused);
            }
    }
    for (int i = begin; i < end; ++i) {
        const double sum = e.model[i];
        e.model[i] = finish(g, sum);
        if (!derivs || (g.log_result == 0 && g.sqrt_result == 0)) continue;
        const double slope = finish_slope(g.log_result, g.sqrt_result, sum);
        for (int p = 0; p < e.nvaried; ++p) e.point_deriv[i][p] *= slope;
    }
}

} // namespace

PointKernel gaussian_series_kernel(const GaussianSeries& series) {
    PointKernel k;
    k.run = run;
    k.precise = precise;
    k.precise_analytic = true;
    k.precise_lists = true;
    k.context = &series;
    return k;
}

} // namespace tarva
