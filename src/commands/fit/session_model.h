// The session's current model function as the engine sees it, and the
// engine's arguments taken from the session's data set and fit state.
#pragma once

#include "fitting/engine.h"
#include "fitting/gaussian_series_kernel.h"
#include "fitting/term_series_kernel.h"
#include "models/evaluate.h"
#include "session/session.h"

namespace tarva {

class SessionModel {
public:
    explicit SessionModel(Session& s);
    SessionModel(const SessionModel&) = delete;
    SessionModel& operator=(const SessionModel&) = delete;
    // The engine forgets what it kept of this model's kernel.
    ~SessionModel();

    double operator()(std::span<const double> p, float x) { return evaluate(inputs_, p, x); }

    // The engine's view: this model, with a fast kernel when the current
    // function has one.
    ModelRef ref();

    // Everything chi_square, fit and correlation_matrix take, from the
    // session's data set, fit mode, parameters and masks.
    EngineInputs engine_inputs();

private:
    Session& session_;
    ModelInputs inputs_;
    GaussianSeries series_;
    TermSeries terms_;
    PointKernel kernel_;
};

// Keeps what a fit that just ended printed in s.fit.last_fit: the current
// function, parameter names, values and errors (s.fit, written back by the
// fit) and the given summary. `determined` (may be null: every error is)
// tells by slot whether FIT/C could determine the error.
void record_last_fit(Session& s, bool converging, bool converged, std::string stop, int iterations, int points,
                     double reduced_chi_square, const bool* determined = nullptr);

} // namespace tarva
