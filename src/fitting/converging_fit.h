// A fit that runs to the optimum (FIT/C), and the covariance and
// correlation of the estimates (its errors, CORREL/E).
//
// The minimiser is a Levenberg-Marquardt iteration on the residuals
// (model - Y) / sqrt(variance), weighted as the fit mode weights them, with
// precise derivatives (analytic where the model's fast kernel has them,
// else central differences over a step scaled to the parameter), GSL's
// linear algebra for the steps and the covariance, and optional bounds on
// the parameters. Like the engine, this knows nothing of the session: a
// caller hands it the data, the model and the parameters and gets back
// everything the fit found (values, errors, covariance, correlation,
// chi-square, iterations, why it stopped).
#pragma once

#include <array>
#include <functional>
#include <span>

#include "fitting/engine.h"
#include "io/output_sink.h"
#include "models/fit_state.h"

namespace tarva {

// Why a converging fit ended.
enum class ConvergingStop {
    NotStarted, // bad input; a message said why, nothing changed
    Converged,  // the final (Gauss-Newton) step changed the chi-square and every parameter by less than the tolerances
    Rounding,   // steps below the parameter tolerance change the chi-square only within its rounding errors
    ExactFit,   // the model passes through every point (chi-square 0)
    NoProgress, // no step lowers the chi-square, though the steps are not yet negligible
    Failed,     // the linear algebra failed (a message said how)
    IterationLimit, // the maximum number of iterations was reached first
    Stopped,        // the stop query ended it between two iterations
};

inline constexpr int kConvergingDefaultIterations = 500;

// The convergence tolerances: a Gauss-Newton step that changes the
// chi-square by less than kChiTolerance of itself and every varied
// parameter by less than kParameterTolerance of its magnitude (or of its
// typical magnitude, where the parameter is nearer 0) is the last step.
// Data in single precision carry about seven digits; near the optimum each
// step shortens the next by a factor (about 0.05 on a spectrum with
// Poisson noise, far more on a problem with small residuals), so after
// that last step the parameters are a small fraction of 1e-6 from the
// optimum.
inline constexpr double kChiTolerance = 1e-10;
inline constexpr double kParameterTolerance = 1e-6;

struct ConvergingFitSettings {
    int max_iterations = kConvergingDefaultIterations;
    // By slot; slots beyond the span, and infinite limits, are unbounded.
    std::span<const ParameterBounds> bounds{};
    // Asked before every iteration; when it says stop, the fit ends with the
    // parameters of the last whole iteration.
    StopQuery stop = nullptr;
    // Called once the checks have passed, before the first iteration, with
    // the reduced chi-square at the start in the fit's weights (FIT/C prints
    // it there).
    std::function<void(double)> started{};
};

// Covariance of the estimates of the varied parameters: the inverse of the
// curvature matrix J'WJ (weights of the fit mode, not rescaled by the
// chi-square). Indexed by slot; rows and columns of fixed or undetermined
// parameters are 0.
struct Covariance {
    std::array<std::array<double, kEngineParams>, kEngineParams> c{};
    std::array<bool, kEngineParams> determined{}; // by slot; false for fixed ones
    bool singular = false;                        // some varied parameter is undetermined
};

struct ConvergingFitResult {
    ConvergingStop stop = ConvergingStop::NotStarted;
    int iterations = 0;
    int points = 0; // points fitted
    int varied = 0; // varied parameters
    int dof = 0;    // points less the unmasked parameters (at least 1)
    // By slot: every parameter (the fixed ones as given) and the standard
    // errors sqrt(C(k,k)) of the varied ones (0 where not determined).
    std::array<double, kEngineParams> values{};
    std::array<double, kEngineParams> errors{};
    Covariance covariance;
    // C(j,k) / sqrt(C(j,j) C(k,k)) by slot, where both are determined.
    std::array<std::array<double, kEngineParams>, kEngineParams> correlation{};
    double chi_square = 0.0;         // sum of squared weighted residuals at the result
    double reduced_chi_square = 0.0; // chi_square / dof
};

// Fits the varied parameters of the inputs to convergence, printing one line
// per iteration ("Iteration   n  mode m  chi-sq = ...") and, when the fit
// cannot start (no points, nothing varied, a weighting mode it does not
// support, too few points, a start outside its bounds, a model that is not
// finite or does not depend on a varied parameter at the start), one
// message; the result then says NotStarted and holds nothing else. On a
// stop by the iteration limit or the stop query the result holds the last
// whole iteration.
ConvergingFitResult converging_fit(EngineState& e, OutputSink& out, const EngineInputs& in,
                                   const ConvergingFitSettings& settings = {});

// Covariance of the estimates at the inputs' parameters, from the same
// precise derivatives and rank test as a converging fit's (bounds play no
// part: the errors are those of the parameters themselves).
Covariance estimate_covariance(EngineState& e, const EngineInputs& in);

// CORREL/E: prints the correlation matrix of the estimates in the
// correlation matrix's layout, or says that the curvature matrix is
// singular and for which parameters.
void estimate_correlation(EngineState& e, OutputSink& out, const EngineInputs& in);

// Whether a fit mode's weights stay fixed while the parameters change (the
// converging fit and the estimates need that): weighting modes 1 and 4.
bool fixed_weights(int mode);

} // namespace tarva
