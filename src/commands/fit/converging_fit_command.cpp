// FIT/C: the fit to convergence, reported in FIT's style.
#include <algorithm>
#include <string>

#include "commands/commands.h"
#include "commands/fit/session_model.h"
#include "fitting/converging_fit.h"
#include "io/stop_signal.h"
#include "text/format.h"

namespace tarva {

namespace {

std::string stop_line(ConvergingStop stop) {
    switch (stop) {
    case ConvergingStop::StepSize: return "Converged on step size.";
    case ConvergingStop::Gradient: return "Converged on gradient.";
    case ConvergingStop::ChiChange: return "Converged on chi-square change.";
    case ConvergingStop::NoProgress: return "Stopped: no step lowers the chi-square any further.";
    case ConvergingStop::IterationLimit: return "NOT converged: the iteration limit was reached first.";
    case ConvergingStop::Stopped: return "NOT converged: stopped by a signal.";
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
    const int slots = std::clamp(s.fit.nparams, 0, kMaxParams);
    int m = 0;
    for (int k = 0; k < slots; ++k)
        if (s.fit.mask[k] != 0) ++m;
    s.out().line("No. parameters active = " + format_I(m, 8));
    SessionModel model(s);
    const EngineInputs in = model.engine_inputs();
    std::array<double, kMaxParams> errors = s.fit.error;
    std::array<bool, kMaxParams> determined{};
    // The starting chi-square in the weights the fit uses (its checks have
    // set them).
    auto started = [&] {
        s.out().line("Starting CHI**2 = " + format_G(working_chi_square(s.engine(), s.out(), in.model), 13, 5, 1));
    };
    const ConvergingFitResult r = converging_fit(s.engine(), s.out(), in, s.fit.value, errors, determined,
                                                 max_iterations, started, stop_requested);
    if (r.stop == ConvergingStop::NotStarted) {
        s.out().blank_line();
        return;
    }
    model(std::span<const double>(s.fit.value), 0.0f); // current names
    bool undetermined = false;
    for (int k = 0; k < slots; ++k) {
        if (s.fit.mask[k] == 0) continue;
        s.fit.error[k] = errors[k];
        const std::string err = determined[k] ? format_G(errors[k], 13, 5, 1) : "not determined";
        undetermined = undetermined || !determined[k];
        s.out().line(format_I(k + 1, 2) + " " + std::string(s.fit.param_name(k).view()) + " = " +
                     format_G(s.fit.value[k], 13, 5, 1) + "     error = " + err);
    }
    if (undetermined) s.out().line("Errors not determined: the curvature matrix is singular for those parameters.");
    s.out().blank_line();
    s.out().line("After " + format_I(r.iterations, 8) + " iterations.");
    s.out().line(stop_line(r.stop));
    s.out().line("Final CHI**2 = " + format_G(chi_square(s.engine(), s.out(), model.engine_inputs()), 13, 5, 1));
}

} // namespace tarva
