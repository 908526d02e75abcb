// The parts of the fit to convergence that the minimiser and the estimates
// of CORREL/E share: the precise derivatives and the covariance.
#pragma once

#include <gsl/gsl_matrix.h>

#include <array>
#include <string>

#include "fitting/converging_fit.h"

namespace tarva::converging {

// The difference step is this fraction of the parameter's scale: near
// where the truncation error of the five-point central rule (falling with
// h^4) and its rounding error (growing with 1/h) balance.
inline constexpr double kStepFraction = 2e-4;

// A problem whose Jacobian has at most this many entries (points times
// varied parameters) is small: its steps and covariance come from QR
// factorisations of the Jacobian itself, which keep the accuracy an
// ill-conditioned problem needs. A large one (a spectrum of many peaks)
// works on the normal equations, summed from the entries that matter,
// which costs a fraction of a dense QR of its Jacobian.
inline constexpr int kSmallProblem = 20000;

// How the derivatives of the varied parameters (by varied index) are taken.
struct JacobianPlan {
    bool kernel = false;   // through the model's fast kernel
    bool analytic = false; // and every one of them analytic
    bool lists = false;    // and each point lists its nonzero columns
    // The typical magnitude of each parameter: how far it must move to
    // change the model by a hundredth of the range of the data's Y at the
    // start, at most the parameter's own start value where that is not 0.
    // The difference step is kStepFraction of max(|p|, typical), so
    // a parameter that starts at 0 (a slope, an offset) gets a step fitting
    // the data's units instead of none at all.
    std::array<double, kEngineParams> typical{};
    // The model is linear in the parameter (evaluator path): its central
    // difference over a wide step is exact but for rounding.
    std::array<bool, kEngineParams> linear{};
};

// Sets up the plan at the working copy's parameters (e.varied already
// selected); where the derivatives are differences the model is probed.
void plan_jacobian(EngineState& e, ModelRef model, JacobianPlan& plan);

// Model values into e.model and precise derivatives by the varied
// parameters into e.point_deriv, at the working copy's parameters.
void precise_jacobian(EngineState& e, ModelRef model, const JacobianPlan& plan);

// Model values into e.model at the working copy's parameters, through the
// kernel's own pass when it has one (it makes the values of its precise
// derivatives, without the bookkeeping that keeps the engine's passes bit
// for bit those of the plain loop).
void fit_values(EngineState& e, ModelRef model);

// 1 / sqrt(variance) of every point in the working copy's weighting mode.
void fit_weights(const EngineState& e, std::array<double, kEngineDerivPoints>& weight);

// The covariance from the derivatives in e.point_deriv (varied parameters
// in e.varied order) weighted by `weight`, and their J'J when the caller
// has it (else it is summed here). Small problems: QR with column
// pivoting of the column-scaled Jacobian; large ones: pivoted Cholesky of
// its scaled normal matrix. A rank test relative to the largest pivot
// finds the directions the data do not determine; only a parameter taking
// part in such a direction (or one the model does not depend on) is
// undetermined. `failure` is set to a message when GSL fails (the result is
// then all undetermined).
Covariance covariance_from(const EngineState& e, const std::array<double, kEngineDerivPoints>& weight,
                           const JacobianPlan& plan, std::string& failure, const gsl_matrix* gram = nullptr);

} // namespace tarva::converging
