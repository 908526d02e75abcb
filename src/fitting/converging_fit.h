// A fit that runs to the optimum (FIT/C), and the covariance and
// correlation of the estimates (its errors, CORREL/E).
//
// The minimiser is GSL's trust-region Levenberg-Marquardt with geodesic
// acceleration (gsl_multifit_nlinear) on the residuals weighted as the fit
// mode weights them; the Jacobian is the engine's own (point_derivatives,
// forward differences through the model's fast kernel when it has one).
// Like the engine, this knows nothing of the session.
#pragma once

#include <array>
#include <functional>
#include <span>

#include "fitting/engine.h"
#include "io/output_sink.h"

namespace tarva {

// Why a converging fit ended.
enum class ConvergingStop {
    NotStarted,     // bad input; a message said why, nothing changed
    StepSize,       // the last step was negligible against the parameters
    Gradient,       // the gradient of the chi-square vanished
    ChiChange,      // a step lowered the chi-square by a negligible fraction
    NoProgress,     // no step lowers the chi-square any more (machine precision)
    IterationLimit, // the maximum number of iterations was reached first
    Stopped,        // the stop query ended it between two iterations
};

struct ConvergingFitResult {
    ConvergingStop stop = ConvergingStop::NotStarted;
    int iterations = 0;
};

inline constexpr int kConvergingDefaultIterations = 500;

// Fits the varied parameters of the inputs to convergence, printing one line
// per iteration ("Iteration   n  mode m  chi-sq = ..."). On success the
// parameters (slots 1..nparams) are written back, the errors of the varied
// ones, and `determined` tells which of those errors could be found (a
// singular curvature matrix leaves the affected ones undetermined, error
// 0). When the fit cannot start (no points, nothing varied, a weighting
// mode it does not support, too few points, a model that is not finite or
// does not depend on a varied parameter at the start) it prints one message
// and leaves parameters and errors alone.
// `started` is called once the checks have passed, before the first
// iteration (FIT/C prints its starting chi-square there). `stop` is asked
// before every iteration; when it says stop, the parameters and errors of
// the last whole iteration are written back, as at the iteration limit.
ConvergingFitResult converging_fit(EngineState& e, OutputSink& out, const EngineInputs& in, std::span<double> params,
                                   std::span<double> errors, std::span<bool> determined, int max_iterations,
                                   const std::function<void()>& started = {}, StopQuery stop = nullptr);

// Covariance of the estimates of the varied parameters at the working
// copy's parameters: the inverse of the curvature matrix J'WJ (weights of
// the working copy's mode, not rescaled by the chi-square). Indexed by slot;
// rows and columns of fixed or undetermined parameters are 0.
struct Covariance {
    std::array<std::array<double, kEngineParams>, kEngineParams> c{};
    std::array<bool, kEngineParams> determined{}; // by slot; false for fixed ones
    bool singular = false;                        // some varied parameter is undetermined
};
Covariance estimate_covariance(EngineState& e, ModelRef model);

// CORREL/E: prints the correlation matrix of the estimates in the
// correlation matrix's layout, or says that the curvature matrix is
// singular and for which parameters.
void estimate_correlation(EngineState& e, OutputSink& out, const EngineInputs& in);

// Whether a fit mode's weights stay fixed while the parameters change (the
// converging fit and the estimates need that): weighting modes 1 and 4.
bool fixed_weights(int mode);

} // namespace tarva
