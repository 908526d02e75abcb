// The least-squares engine's working copy, kept between fits.
//
// Every entry of the engine (chi-square, fit, correlation matrix) first copies
// its arguments into this record; the inner steps then work on it alone. The
// model scale, the no-error-bars flag and the mask slots above the current
// parameter count are deliberately left alone by that copy, so they carry over
// from one command to the next.
#pragma once

#include <array>

namespace tarva {

inline constexpr int kEngineParams = 50;
inline constexpr int kEnginePoints = 2048;
// Points whose derivatives are kept for one normal-equation pass (the data
// set holds at most 1024; the rest of the working arrays is never filled).
inline constexpr int kEngineDerivPoints = 1024;

struct EngineState {
    int npoints = 0;
    int nparams = 0;
    std::array<float, kEnginePoints> x{};
    std::array<float, kEnginePoints> y{};
    std::array<float, kEnginePoints> sigma{};
    std::array<double, kEngineParams> a{};
    std::array<int, kEngineParams> mask{};
    int weight_mode = 0;   // units digit of the fit mode
    int dump = 0;          // tens digit of the fit mode
    double scale = 1.0;    // model scale ("Fcweight")
    int no_error_bars = 0; // unit weights in modes 1 and 3
    double lambda = 1.0;   // Marquardt damping factor
    std::array<double, kEnginePoints> model{};
    std::array<double, kEngineParams> deriv{};
    std::array<double, kEngineParams> beta{};
    std::array<std::array<double, kEngineParams>, kEngineParams> alpha{};
    std::array<double, kEngineParams> step{};

    // The per-point rows below are scratch of one pass: each pass writes the
    // entries it later reads, so they are left uninitialised. A session that
    // never fits then never touches their 700 KB (zeroing them at start-up
    // took a quarter of the program's start).

    // Per-point derivatives of one pass (row i: varied parameters in slot
    // order), filled before the normal equations are summed in point order.
    std::array<std::array<double, kEngineParams>, kEngineDerivPoints> point_deriv;
    // Per point of that pass: residual, variance, whether every factor is
    // finite, and the varied parameters whose derivative is not zero
    // (ascending, `nonzero_count` of them).
    std::array<double, kEngineDerivPoints> point_resid;
    std::array<double, kEngineDerivPoints> point_var;
    std::array<unsigned char, kEngineDerivPoints> point_finite;
    std::array<std::array<unsigned char, kEngineParams>, kEngineDerivPoints> nonzero;
    std::array<int, kEngineDerivPoints> nonzero_count;
    std::array<int, kEngineParams> varied{}; // slot index of each varied parameter
    int nvaried = 0;
    // Whether the passes over the points are shared with the helper thread
    // (decided at the start of a fit; never for a lone chi-square).
    bool parallel = false;

    // What a point kernel kept of its last pass of values, per point and in
    // its own layout, so that the derivative pass at the same parameters
    // (the next iteration's normal equations come straight after the
    // chi-square of the step) need not form the terms again. `terms_of` is
    // the kernel's context and `terms_params` the parameters of that pass;
    // copying inputs with other abscissae into the working copy clears
    // `terms_of`, and so does forget_kept_terms() (engine.h), which the
    // owner of a context calls before the context changes or goes.
    // `values_kept`: `model` still holds that pass's values (a derivative
    // pass at the same parameters writes the same ones), so a chi-square at
    // those parameters (FIT's starting and final ones repeat the fit's)
    // need not compute them again.
    static constexpr int kKeptTerms = 32;
    std::array<std::array<double, kKeptTerms>, kEngineDerivPoints> point_terms;
    const void* terms_of = nullptr;
    std::array<double, kEngineParams> terms_params{};
    bool values_kept = false;
};

} // namespace tarva
