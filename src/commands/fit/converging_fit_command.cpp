// FIT/C: the fit to convergence, reported in FIT's style.
#include <algorithm>
#include <cmath>
#include <string>

#include "commands/commands.h"
#include "commands/fit/session_model.h"
#include "commands/front_end.h"
#include "fitting/converging_fit.h"
#include "io/stop_signal.h"
#include "text/format.h"

namespace tarva {

namespace {

std::string stop_line(ConvergingStop stop) {
    switch (stop) {
    // (The tolerances are kChiTolerance and kParameterTolerance.)
    case ConvergingStop::Converged:
        return "Converged: the last step changed each parameter by less than 1E-6 of itself and the chi-square by "
               "less than 1E-10.";
    case ConvergingStop::Rounding:
        return "Converged: steps below 1E-6 of the parameters change the chi-square only within its rounding.";
    case ConvergingStop::ExactFit: return "Converged: the function passes through every point (chi-square 0).";
    case ConvergingStop::NoProgress: return "Stopped: no step lowers the chi-square any further.";
    case ConvergingStop::Failed: return "NOT converged: the fit's linear algebra failed.";
    case ConvergingStop::IterationLimit: return "NOT converged: the iteration limit was reached first.";
    case ConvergingStop::Stopped: return "NOT converged: stopped by a signal.";
    case ConvergingStop::NotStarted: break;
    }
    return "";
}

// The stop in a few words, for the results table of a batch run.
std::string stop_phrase(ConvergingStop stop) {
    switch (stop) {
    case ConvergingStop::Converged: return "converged";
    case ConvergingStop::Rounding: return "converged within rounding";
    case ConvergingStop::ExactFit: return "exact fit";
    case ConvergingStop::NoProgress: return "no further progress";
    case ConvergingStop::Failed: return "linear algebra failed";
    case ConvergingStop::IterationLimit: return "iteration limit";
    case ConvergingStop::Stopped: return "stopped by a signal";
    case ConvergingStop::NotStarted: break;
    }
    return "";
}

} // namespace

void cmd_fit_converging(Session& s, CommandContext& ctx) {
    int max_iterations = kConvergingDefaultIterations;
    if (ctx.number > 0.5) {
        max_iterations = ctx.number >= 1e9 ? 1000000000 : round_nearest(ctx.number);
        s.out().line("Maximum number of iterations set to " + format_I(max_iterations, 5));
        s.out().blank_line();
    }
    run_converging_fit(s, max_iterations);
}

ConvergingFitResult run_converging_fit(Session& s, int max_iterations) {
    const int slots = std::clamp(s.fit.nparams, 0, kMaxParams);
    int m = 0;
    for (int k = 0; k < slots; ++k)
        if (s.fit.mask[k] != 0) ++m;
    s.out().line("No. parameters active = " + format_I(m, 8));
    SessionModel model(s);
    const EngineInputs in = model.engine_inputs();
    ConvergingFitSettings settings;
    settings.max_iterations = max_iterations;
    settings.bounds = s.fit.bounds;
    settings.stop = stop_requested;
    // The starting chi-square in the weights the fit uses.
    settings.started = [&](double chi) { s.out().line("Starting CHI**2 = " + format_G(chi, 13, 5, 1)); };
    const ConvergingFitResult r = converging_fit(s.engine(), s.out(), in, settings);
    if (r.stop == ConvergingStop::NotStarted) {
        s.out().blank_line();
        return r;
    }
    for (int k = 0; k < slots; ++k) s.fit.value[k] = r.values[k];
    model(std::span<const double>(s.fit.value), 0.0f); // current names
    bool undetermined = false;
    for (int k = 0; k < slots; ++k) {
        if (s.fit.mask[k] == 0) continue;
        const bool determined = r.covariance.determined[k];
        s.fit.error[k] = r.errors[k];
        const std::string err = determined ? format_G(r.errors[k], 13, 5, 1) : "not determined";
        undetermined = undetermined || !determined;
        std::string line = format_I(k + 1, 2) + " " + std::string(s.fit.param_name(k).view()) + " = " +
                           format_G(s.fit.value[k], 13, 5, 1) + "     error = " + err;
        const ParameterBounds& b = s.fit.bounds[k];
        if ((std::isfinite(b.low) && s.fit.value[k] == b.low) || (std::isfinite(b.high) && s.fit.value[k] == b.high))
            line += "  at its bound";
        s.out().line(line);
    }
    if (undetermined) s.out().line("Errors not determined: the curvature matrix is singular for those parameters.");
    s.out().blank_line();
    s.out().line("After " + format_I(r.iterations, 8) + " iterations.");
    s.out().line(stop_line(r.stop));
    s.out().line("Final CHI**2 = " + format_G(r.reduced_chi_square, 13, 5, 1));
    bool determined[kMaxParams] = {};
    for (int k = 0; k < slots; ++k) determined[k] = r.covariance.determined[k];
    const bool converged = r.stop == ConvergingStop::Converged || r.stop == ConvergingStop::Rounding ||
                           r.stop == ConvergingStop::ExactFit || r.stop == ConvergingStop::NoProgress;
    record_last_fit(s, true, converged, stop_phrase(r.stop), r.iterations, r.points, r.reduced_chi_square, determined);
    return r;
}

} // namespace tarva
