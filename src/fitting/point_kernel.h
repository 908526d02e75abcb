// Fast evaluation of the model and its forward-difference derivatives at
// many points at once, for models whose structure allows it.
//
// A kernel must produce exactly the numbers the plain loop of the engine
// produces with the model (same value, same perturbed value, same quotient,
// bit for bit); it only finds them faster. Different point ranges may be run
// at the same time from different threads, so a kernel writes nothing but
// the entries of its own range.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>

#include "fitting/engine_state.h"

namespace tarva {

struct PointKernel {
    // Fills e.model[i] for begin <= i < end and, when `derivs` is set,
    // e.point_deriv[i][p] for the varied parameters e.varied[0..e.nvaried).
    // A pass of values may keep what it likes in e.point_terms[i] (the
    // engine then records the parameters it was run with); a derivative pass
    // may use those entries when terms_kept_for() says they are its own.
    void (*run)(const PointKernel& self, EngineState& e, int begin, int end, bool derivs) = nullptr;
    // For the fit to convergence: fills e.model[i] and, when `derivs` is
    // set, e.point_deriv[i][p] for begin <= i < end with derivatives as
    // precise as the kernel can make them (analytic where it knows them,
    // else central differences over steps[p], one step per varied
    // parameter). No bit-for-bit promise; kept terms are neither read nor
    // written. Null: the kernel has none.
    void (*precise)(const PointKernel& self, EngineState& e, int begin, int end, bool derivs,
                    const double* steps) = nullptr;
    // Every derivative `precise` gives is analytic (it reads no steps).
    bool precise_analytic = false;
    // A pass of `precise` with derivatives also lists each point's columns
    // that may be nonzero in e.nonzero[i] (ascending, e.nonzero_count[i]
    // of them); every other entry of the row is 0.
    bool precise_lists = false;
    const void* context = nullptr;
};

// What every kernel shares with the engine's plain loop.

inline bool same_bits(double a, double b) { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b); }

// The forward-difference step for a parameter value: 1e-7 of its magnitude,
// at least 1e-15.
inline double forward_step(double p) {
    const double h = 1e-7 * std::fabs(p);
    return h < 1e-15 ? 1e-15 : h;
}

// The evaluator's log10 and square-root options of the result.
inline double finish_value(int log_result, int sqrt_result, double v) {
    if (log_result != 0 && v != 0.0) v = std::log10(std::abs(v));
    if (sqrt_result != 0) v = std::sqrt(std::abs(v));
    return v;
}

// The slope of finish_value at v, for the chain rule of analytic
// derivatives (log10 of |v| unless v is 0, then the square root of |that|).
inline double finish_slope(int log_result, int sqrt_result, double v) {
    double slope = 1.0;
    if (log_result != 0 && v != 0.0) {
        slope = 1.0 / (v * 2.302585092994045684);
        v = std::log10(std::abs(v));
    }
    if (sqrt_result != 0) slope *= (v < 0.0 ? -0.5 : 0.5) / std::sqrt(std::abs(v));
    return slope;
}

// The derivative (f2 - f) / h. When f2 is f itself, f is finite and h is no
// NaN, that is +0 for any step, and the division (the slowest operation of
// a kernel's loop) is saved.
inline double zero_or_quotient(double f2, double f, bool f_finite, double h) {
    return same_bits(f2, f) && f_finite && !std::isnan(h) ? 0.0 : (f2 - f) / h;
}

// Whether e.point_terms were kept by this kernel at exactly the parameters a.
bool terms_kept_for(const PointKernel& k, const EngineState& e, const double* a);

} // namespace tarva
