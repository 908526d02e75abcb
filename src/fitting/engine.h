// Least-squares engine: reduced and plain chi-squares, the damped
// Gauss-Newton (Marquardt) minimiser over the unmasked parameters, and the
// correlation matrix of the varied parameters.
//
// The engine knows nothing of the session: it gets the data arrays, the fit
// mode, the model and the parameters as arguments, writes its messages to the
// output sink and keeps its working copy in an EngineState.
#pragma once

#include <span>
#include <string>
#include <type_traits>

#include "fitting/engine_state.h"
#include "io/output_sink.h"

namespace tarva {

struct PointKernel;

// The model handed to the engine: value at a single-precision abscissa for a
// 50-slot parameter vector. A non-owning reference to any callable of that
// shape. An optional kernel computes values and derivatives of many points at
// once, bit for bit as the plain forward differences would (see point_kernel.h).
class ModelRef {
public:
    template <class F>
    requires(!std::is_same_v<std::remove_cvref_t<F>, ModelRef>)
        ModelRef(F& f) // NOLINT: a reference wrapper is meant to convert implicitly
        : object_(&f), call_([](void* o, std::span<const double> p, float x) { return (*static_cast<F*>(o))(p, x); }) {}

    double operator()(std::span<const double> p, float x) const { return call_(object_, p, x); }

    const PointKernel* kernel = nullptr;

private:
    void* object_;
    double (*call_)(void*, std::span<const double>, float);
};

// The data and model arguments every entry copies into the working copy.
struct EngineInputs {
    std::span<const float> x;
    std::span<const float> y;
    std::span<const float> sigma;
    int mode = 1;
    int npoints = 0;
    ModelRef model;
    std::span<const double> params; // slots 1..nparams are read
    int nparams = 0;
    std::span<const int> masks; // slots 1..nparams are read
};

// Reduced chi-square of the model at the given parameters. Prints the input
// dump when the fit mode's tens digit is set. Nothing is written back.
double chi_square(EngineState& e, OutputSink& out, const EngineInputs& in);

// Plain sum of squared (weighted) residuals of the data against the model,
// with values rounded to single precision; no clamps, no fit mode.
double chi_square_sum(std::span<const float> x, std::span<const float> y, std::span<const float> sigma, int npoints,
                      ModelRef model, std::span<const double> params);

// Asked between the iterations of a long computation: true when it should
// stop where it is (the program was asked to end). Null: never.
using StopQuery = bool (*)();

// Runs the minimiser. Writes back parameters and errors (slots 1..nparams),
// the iterations done, and the maximum when it was replaced by 100. False
// when `stop` ended it between two iterations: parameters and errors are
// then those of the last whole iteration.
bool fit(EngineState& e, OutputSink& out, const EngineInputs& in, std::span<double> params, std::span<double> errors,
         int& iterations, int& max_iterations, StopQuery stop = nullptr);

// Prints the correlation matrix of the varied parameters.
void correlation_matrix(EngineState& e, OutputSink& out, const EngineInputs& in);

// Prints a matrix of slots 1..np in the correlation matrix's layout: the
// title line, then the lower triangle in column blocks of 21 (F5.2).
void print_correlation_layout(OutputSink& out, const std::string& title,
                              const std::array<std::array<double, kEngineParams>, kEngineParams>& c, int np);

// ---- the working copy's points, for other fits ------------------------

// Lists the varied parameters of the working copy (e.varied, e.nvaried)
// from its masks.
void select_varied(EngineState& e);

// Model values of every point of the working copy at its parameters, into
// e.model.
void point_values(EngineState& e, ModelRef model);

// Model values and the derivatives with respect to the varied parameters
// (e.varied[0..e.nvaried), found from the masks) of every point, into
// e.model and e.point_deriv: the engine's forward differences, through the
// model's fast kernel when it has one.
void point_derivatives(EngineState& e, ModelRef model);

// Variance of point i in the working copy's weighting mode, for a model
// value at that point.
double point_variance(const EngineState& e, int i, double model_value);

// Number of nonzero masks among all working mask slots (the parameters the
// reduced chi-square counts against the points).
int active_mask_count(const EngineState& e);

// ---- inner steps, exposed for tests -----------------------------------

// Gauss-Jordan inversion in place of the leading n x n block with full
// pivoting. False when a pivot is exactly zero (the block is then partly
// reduced and must not be used).
bool invert_matrix(std::array<std::array<double, kEngineParams>, kEngineParams>& m, int n);

// Reduced chi-square of the working copy as it stands.
double working_chi_square(EngineState& e, OutputSink& out, ModelRef model);

// Decides whether the passes of a fit of the working copy are shared with
// the helper thread (only with a fast kernel, and where it pays), and wakes
// the helper if so.
void share_with_helper(EngineState& e, ModelRef model);

// Copies the inputs into the working copy (no dump).
void load_working_copy(EngineState& e, const EngineInputs& in);

// Drops what the working copy kept of a pass of the kernel whose context
// this is: its owner calls it before the context changes or is destroyed
// (another context could later take its address).
void forget_kept_terms(EngineState& e, const void* context);

// One damped step: normal equations, inversion, parameter update and
// errors. False (after the "zero determinant" line) when singular.
bool iteration_step(EngineState& e, OutputSink& out, ModelRef model, std::span<double> errors);

} // namespace tarva
