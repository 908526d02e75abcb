// The work of a few commands with their arguments already read, for front
// ends other than the command line (the Python module): the same routines
// the commands call, so a result is the one the command line gives, bit for
// bit, and the same lines are printed.
#pragma once

#include <string>

#include "commands/command_context.h"
#include "dataset/import/instrument_import.h"
#include "fitting/converging_fit.h"
#include "session/session.h"

namespace tarva {

// FIT with its iteration limit (the calls of the function): prints the
// starting chi-square, the parameters, the iterations and the final
// chi-square as FIT does and leaves values and errors in the fit state.
struct DescribedFitRun {
    bool started = false;  // false: no parameter was active, nothing done
    bool finished = false; // false: stopped by a signal
    int iterations = 0;
    double chi_square = 0.0; // the final reduced chi-square FIT prints
};
DescribedFitRun run_described_fit(Session& s, int max_iterations);

// FIT/C with its iteration limit: prints as FIT/C does, leaves values and
// errors in the fit state and returns everything the fit found.
ConvergingFitResult run_converging_fit(Session& s, int max_iterations);

// IMPORT of the named file with the window and columns already read: reads,
// stores and reports; a failure is said in one line and sets ctx.number to 1.
void import_named(Session& s, CommandContext& ctx, const std::string& name, const ChannelWindow& window,
                  const ColumnChoice& columns);

} // namespace tarva
