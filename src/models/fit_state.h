// The current model function, its parameters and masks.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <string>
#include <string_view>

#include "text/fixed_text.h"

namespace tarva {

inline constexpr int kMaxParams = 50;

// What decides the names a function routine writes: the function number,
// the parameter count and a small code for the name variants chosen by a
// parameter value (the "Complimentary" option, the grid-shadow Order).
struct NameKey {
    int function = 0;
    int nparams = 0;
    int variant = 0;
    friend bool operator==(const NameKey&, const NameKey&) = default;
};

// Limits a fit to convergence keeps a parameter within (either may be
// absent: an infinite limit). Only FIT/C reads them.
struct ParameterBounds {
    double low = -HUGE_VAL;
    double high = HUGE_VAL;
    bool any() const { return std::isfinite(low) || std::isfinite(high); }
    bool holds(double v) const { return v >= low && v <= high; }
    friend bool operator==(const ParameterBounds&, const ParameterBounds&) = default;
};

// What the last fit (FIT or FIT/C) ended with, as it printed it: a batch
// run's results table reads it when the macro has ended. `done` stays false
// until a fit has run.
struct LastFit {
    bool done = false;
    bool converging = false; // FIT/C
    bool converged = true;   // FIT/C reached one of its convergence tests
    std::string stop;        // a short phrase: "converged", "iteration limit", ...
    int function = 0;
    int nparams = 0;
    int iterations = 0;
    int points = 0; // points fitted
    double reduced_chi_square = 0.0;
    std::array<FixedText<10>, kMaxParams> names{};
    std::array<double, kMaxParams> value{};
    std::array<double, kMaxParams> error{};
    std::array<bool, kMaxParams> varied{}; // unmasked: the fit set its error
    std::array<bool, kMaxParams> error_determined{};
};

struct FitState {
    int function = 5;
    int nparams = 1;
    std::array<double, kMaxParams> value{};
    std::array<double, kMaxParams> error{};
    std::array<int, kMaxParams> mask{};
    int mode = 1;
    int exp_argument = 0;                             // 10**X is the argument
    int log_result = 0;                               // log10 of the result
    int sqrt_result = 0;                              // square root of the result
    std::array<ParameterBounds, kMaxParams> bounds{}; // set by PARAM/L
    LastFit last_fit;

    FitState() {
        for (int i = 0; i < 10; ++i) {
            param_name_[static_cast<std::size_t>(i)] = "Blank";
            mask[static_cast<std::size_t>(i)] = 1;
        }
    }

    // The function name and the name of parameter slot i (0-based), as the
    // last evaluation left them. Every evaluation rewrites the names of the
    // current function; slots a function does not name keep older names.
    // Evaluations only note which names they imply (the fit calls evaluate
    // tens of thousands of times per iteration); the text is written here,
    // when someone reads it.
    const FixedText<50>& function_name() const {
        sync_names();
        return function_name_;
    }
    const FixedText<10>& param_name(int i) const {
        sync_names();
        return param_name_[slot(i)];
    }

    // Writing a name directly (SPLINE, data-file readers): the names of the
    // evaluations before come first, then this text.
    void set_function_name(std::string_view text) {
        sync_names();
        function_name_ = text;
    }
    void set_param_name(int i, std::string_view text) {
        sync_names();
        param_name_[slot(i)] = text;
    }

    // Called by evaluate: the names this evaluation writes. Writing the same
    // names twice in a row changes nothing, so only a change of key has to
    // bring the earlier evaluation's names into the text first.
    void note_names(const NameKey& key) {
        if (names_pending_ && !(key == pending_)) write_pending_names();
        pending_ = key;
        names_pending_ = true;
    }

private:
    static std::size_t slot(int i) {
        return static_cast<std::size_t>(i < 0 ? 0 : (i >= kMaxParams ? kMaxParams - 1 : i));
    }
    void sync_names() const {
        if (names_pending_) write_pending_names();
    }
    void write_pending_names() const; // models/catalogue.cpp

    mutable FixedText<50> function_name_;
    mutable std::array<FixedText<10>, kMaxParams> param_name_{};
    mutable bool names_pending_ = false;
    NameKey pending_;
};

} // namespace tarva
