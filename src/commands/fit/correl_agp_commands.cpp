// CORREL (correlation matrix of the varied parameters; CORREL/E that of
// the estimates) and AGP (a file of the reduced chi-square over a grid of
// two parameters).
#include <algorithm>
#include <cmath>
#include <fstream>
#include <string>

#include "commands/commands.h"
#include "commands/fit/session_model.h"
#include "fitting/converging_fit.h"
#include "io/stop_signal.h"
#include "session/dialogue.h"
#include "text/format.h"
#include "text/safe_file.h"

namespace tarva {

void cmd_correl(Session& s, CommandContext& ctx) {
    if (s.data.count <= 0) {
        s.out().line("NO DATA!");
        return;
    }
    SessionModel model(s);
    if (ctx.qualifier == 'E') {
        estimate_correlation(s.engine(), s.out(), model.engine_inputs());
        return;
    }
    correlation_matrix(s.engine(), s.out(), model.engine_inputs());
}

namespace {

// Grid size from an answer: the answer plus 0.2, truncated (kept in range).
int grid_count(double v) {
    const double t = v + 0.2;
    if (std::isnan(t) || t <= 0.0) return 0;
    // A grid beyond a thousand steps a side would only make the command
    // appear to hang; larger answers are cut to that.
    return t >= 1000.0 ? 1000 : static_cast<int>(t);
}

// Value k (1-based) of n steps from start to end; a single step sits at the
// start value.
double grid_value(double start, double end, int k, int n) {
    if (n <= 1) return start;
    return start + (k - 1) * (end - start) / (n - 1);
}

} // namespace

void cmd_agp(Session& s, CommandContext& ctx) {
    s.out().blank_line();
    s.out().blank_line();
    s.out().line("Generate an AGP file showing CHISQ as a function of two");
    s.out().line("parameters.");
    std::string name(trimmed(ctx.argument().substr(0, 30)));
    if (name.empty()) {
        auto answer = ask_file_name(s, "File name for output > ", 30);
        if (!answer) return;
        name = std::string(trimmed(*answer));
        if (name.empty()) {
            name = "TARVA.AGP";
            s.out().line("Output into " + name);
        }
    }
    // The map goes to a temporary file beside the old one, which stays as
    // it is until the whole map has reached the disk: abandoning the
    // questions or a full disk leaves it untouched.
    SafeFileWriter file(name);
    if (!file.open()) {
        s.out().line("?QVAGP - Unable to open " + name);
        return;
    }
    const int np = std::clamp(s.fit.nparams, 0, kMaxParams);
    SessionModel model(s);
    model(std::span<const double>(s.fit.value), 0.0f); // current names
    // The list of names comes again before each repeated question.
    auto list_names = [&] {
        for (int k = 0; k < np; ++k)
            s.out().line(std::string(12, ' ') + format_I(k + 1, 2) + "  " + std::string(s.fit.param_name(k).view()));
    };
    list_names();
    const auto numbers = ask_until(s, "Parameter numbers for plot (I1,I2) > ",
                                   [&](const std::string& line) -> std::optional<std::pair<int, int>> {
                                       double v[2] = {0.0, 0.0};
                                       auto n = read_list(line, v);
                                       if (n && v[0] == std::trunc(v[0]) && v[1] == std::trunc(v[1]) &&
                                           std::fabs(v[0]) <= 1e9 && std::fabs(v[1]) <= 1e9)
                                           return std::pair{static_cast<int>(v[0]), static_cast<int>(v[1])};
                                       list_names();
                                       return std::nullopt;
                                   });
    if (!numbers) return;
    int ix = numbers->first, iy = numbers->second;
    if (ix <= 0) ix = 1;
    if (iy <= 0 || iy == ix) iy = 2;
    // Slots beyond the 50 of the fit state do not exist: fall back to the
    // first two, as for numbers below 1. A second number that still names
    // the first parameter (as "2 0" or "2 2" would) takes parameter 1
    // instead, so that the map always spans two different parameters.
    if (ix > kMaxParams) ix = 1;
    if (iy > kMaxParams || iy == ix) iy = ix == 2 ? 1 : 2;
    double range[2][2] = {{0.0, 0.0}, {0.0, 0.0}};
    const int which[2] = {ix, iy};
    for (int a = 0; a < 2; ++a) {
        const int k = which[a] - 1;
        s.out().line(format_I(which[a], 2) + ": Central value of " + std::string(s.fit.param_name(k).view()) + " is " +
                     format_G(s.fit.value[k], 13, 5, 1));
        if (!ask_number_pair(s, "Initial and final values > ", range[a][0], range[a][1])) return;
    }
    double gn = 30.0, gm = 30.0;
    if (!ask_number_pair(s, "Size of grid (NxM) Def N=M=30 > ", gn, gm)) return;
    int n = grid_count(gn), m = grid_count(gm);
    if (n <= 0) n = 25;
    if (m <= 0) m = n;
    const std::string xname(s.fit.param_name(ix - 1).view()), yname(s.fit.param_name(iy - 1).view());
    s.out().line("X axis: " + xname + " plotted between " + format_G(range[0][0], 13, 5, 1) + " and " +
                 format_G(range[0][1], 13, 5, 1));
    s.out().line("Y axis: " + yname + " plotted between " + format_G(range[1][0], 13, 5, 1) + " and " +
                 format_G(range[1][1], 13, 5, 1));
    s.out().line("In a grid of " + format_I(n, 2) + "x" + format_I(m, 2) + " points.");
    s.out().line("The reduced chisquared is along the Z axis.");

    const double save_x = s.fit.value[ix - 1], save_y = s.fit.value[iy - 1];
    int fixed = 0;
    for (int k = 0; k < np; ++k)
        if (s.fit.mask[k] == 0) ++fixed;
    // The sum over the points less the fixed slots (negative when the fixed
    // slots outnumber the points); with none left over there is nothing to
    // divide by and the sum is written undivided.
    int dof = s.data.count - fixed;
    if (dof == 0) dof = 1;
    file.write(" " + xname + "\n " + yname + "\n");
    // A signal stops the map between two rows: the parameters get their
    // values back and the writer removes its temporary file, so the old map
    // stays whole.
    bool stopped = false;
    for (int j = 1; j <= m && !(stopped = stop_requested()); ++j) {
        const double y = grid_value(range[1][0], range[1][1], j, m);
        for (int k = 1; k <= n; ++k) {
            const double x = grid_value(range[0][0], range[0][1], k, n);
            s.fit.value[ix - 1] = x;
            s.fit.value[iy - 1] = y;
            const double sum = chi_square_sum(s.data.X, s.data.Y, s.data.SIGMA, s.data.count, model.ref(), s.fit.value);
            file.write(" " + format_G(x, 13, 5, 1) + "," + format_G(y, 13, 5, 1) + "," + format_G(sum / dof, 13, 5, 1) +
                       "\n");
        }
    }
    s.fit.value[ix - 1] = save_x;
    s.fit.value[iy - 1] = save_y;
    if (stopped) {
        s.out().line("?QVAGP - Stopped by a signal: " + name + " not changed");
        return;
    }
    if (file.commit() != ReplaceStatus::Ok) s.out().line("?QVAGP - Unable to write " + name);
}

} // namespace tarva
