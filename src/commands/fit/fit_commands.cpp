// The fit and parameter commands: FUNCT, NPAR/NVAR, PARAM, MASK, FVAL, CHI,
// FIT, MODE, MVAL.
#include <algorithm>
#include <cmath>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "commands/commands.h"
#include "commands/fit/session_model.h"
#include "commands/front_end.h"
#include "io/stop_signal.h"
#include "plot/screen.h"
#include "session/dialogue.h"
#include "text/format.h"
#include "text/safe_file.h"

namespace tarva {

namespace {

constexpr int kFunctions = 50;

// Number of parameter slots in use, kept within the 50 slots.
int slots(const Session& s) { return std::clamp(s.fit.nparams, 0, kMaxParams); }

int active_count(const Session& s) {
    int m = 0;
    for (int k = 0; k < slots(s); ++k)
        if (s.fit.mask[k] != 0) ++m;
    return m;
}

// Truncation toward zero, kept inside the int range (NaN gives 0).
int truncate_int(double v) {
    if (std::isnan(v)) return 0;
    if (v >= 2147483647.0) return 2147483647;
    if (v <= -2147483648.0) return -2147483647 - 1;
    return static_cast<int>(v);
}

// Calls the evaluator once so the function and parameter names are current.
double refresh_names(Session& s, float x = 0.0f) {
    SessionModel model(s);
    return model(std::span<const double>(s.fit.value), x);
}

std::string name10(const Session& s, int k) { return std::string(s.fit.param_name(k).view()); }

// Asks with `prompt` until the pair reads; false when the input ended.
bool ask_pair(Session& s, const std::string& prompt, double& a, double& b) { return ask_number_pair(s, prompt, a, b); }

// Reads one number in free format (the first item of the line); asks again
// while the line holds no number. nullopt when the input ended.
std::optional<double> ask_free_number(Session& s, const std::string& prompt, bool integer) {
    return ask_until(s, prompt, [&](const std::string& line) -> std::optional<double> {
        double v[1] = {0.0};
        auto n = read_list(line, v);
        if (!n || *n < 1) return std::nullopt;
        if (integer && (v[0] != std::trunc(v[0]) || std::fabs(v[0]) > 2147483647.0)) return std::nullopt;
        return v[0];
    });
}

// A bound in G13.5, or "none" in its place.
std::string bound_value(double v) { return std::isfinite(v) ? format_G(v, 13, 5, 1) : "         none"; }

// What PARAM/A adds to a parameter's line: its bounds, only when it has any
// (a listing without bounds is as it always was).
std::string bounds_text(const ParameterBounds& b) {
    return b.any() ? " bounds " + bound_value(b.low) + " to " + bound_value(b.high) : "";
}

// The bounds in an answer: two items, low and high, each a number or "*"
// for none ("* *" clears both); nullopt when they do not read or low is not
// below high. An empty answer keeps `old`.
std::optional<ParameterBounds> read_bounds(const std::string& answer, const ParameterBounds& old) {
    std::string text(answer);
    std::replace(text.begin(), text.end(), ',', ' ');
    std::istringstream in(text);
    std::vector<std::string> items;
    for (std::string item; in >> item;) items.push_back(item);
    if (items.empty()) return old;
    if (items.size() != 2) return std::nullopt;
    ParameterBounds b;
    for (int side = 0; side < 2; ++side) {
        const std::string& item = items[static_cast<std::size_t>(side)];
        if (item == "*") continue;
        const auto v = read_real_field(item);
        if (!v || !std::isfinite(*v)) return std::nullopt;
        (side == 0 ? b.low : b.high) = *v;
    }
    if (!(b.low < b.high)) return std::nullopt;
    return b;
}

// PARAM/L: the bounds FIT/C keeps a parameter within. "PARAM/L k" asks for
// parameter k's ("low high", "*" for no bound on a side), "PARAM/L" lists
// those that are set, "PARAM/L *" clears all.
void param_bounds(Session& s, CommandContext& ctx) {
    auto text = [&](int k) {
        return format_I(k + 1, 2) + " " + name10(s, k) + " bounds " + bound_value(s.fit.bounds[k].low) + " to " +
               bound_value(s.fit.bounds[k].high);
    };
    refresh_names(s);
    if (ctx.argument_trimmed() == "*") {
        s.fit.bounds.fill(ParameterBounds{});
        s.out().line("Bounds of all parameters cleared.");
        return;
    }
    if (ctx.number == 0.0) {
        bool any = false;
        for (int k = 0; k < slots(s); ++k)
            if (s.fit.bounds[k].any()) {
                s.out().line(text(k));
                any = true;
            }
        if (!any) s.out().line("No parameter has bounds.");
        return;
    }
    const int i = round_nearest(std::fabs(ctx.number));
    if (i < 1 || i > slots(s)) {
        s.out().line("Parameter out of range, " + format_I(i, 8));
        return;
    }
    const int k = i - 1;
    const auto b = ask_until(s, text(k) + ", new (low high, * for none) > ", [&](const std::string& line) {
        auto v = read_bounds(line, s.fit.bounds[k]);
        if (v && s.macro_running()) s.out().line(std::string(trimmed(line)));
        return v;
    });
    if (b) s.fit.bounds[k] = *b;
}

void param_listing(Session& s, CommandContext& ctx) {
    std::string file_name;
    // The listing replaces an older one only once it is whole on the disk.
    std::optional<SafeFileWriter> file;
    std::string text; // the listing as written to the file
    if (!ctx.argument_trimmed().empty()) {
        std::string name(ctx.argument_trimmed());
        if (auto b = name.rfind(']'); b != std::string::npos) name = name.substr(b + 1);
        while (!name.empty() && name.front() == ' ') name.erase(0, 1);
        name = upper(name);
        if (auto dot = name.find('.'); dot != std::string::npos) name.resize(dot);
        name = std::string(trimmed(name)) + ".lis";
        file.emplace(name);
        if (file->open())
            file_name = name;
        else
            s.out().line("Unable to open " + name + " for output... listing follows here.");
    }
    const bool to_file = !file_name.empty();
    auto emit = [&](const std::string& line) {
        if (to_file)
            text += " " + line + "\n";
        else
            s.out().line(line);
    };
    auto empty = [&] {
        if (to_file)
            text += "\n";
        else
            s.out().blank_line();
    };
    if (to_file) {
        emit(std::string(78, '-'));
        emit(std::string(20, ' ') + "Results for a fit to " + std::string(s.data.file_name.trimmed()));
        emit(std::string(78, '-'));
    }
    empty();
    empty();
    emit("Function fitted:");
    empty();
    std::string fname(s.fit.function_name().trimmed());
    emit(fname.empty() ? std::string(" ") : fname);
    empty();
    empty();
    for (int k = 0; k < slots(s); ++k)
        emit(format_I(k + 1, 2) + " " + (s.fit.mask[k] == 1 ? "Variable" : "Constant") + " " + name10(s, k) + " = " +
             format_G(s.fit.value[k], 13, 5, 1) + " fit error = " + format_G(s.fit.error[k], 13, 5, 1) +
             bounds_text(s.fit.bounds[k]));
    SessionModel model(s);
    const double chi = chi_square(s.engine(), s.out(), model.engine_inputs());
    empty();
    emit("Reduced chi-squared = " + format_G(chi, 13, 5, 1));
    empty();
    if (to_file) {
        file->write(text);
        if (file->commit() == ReplaceStatus::Ok) {
            s.out().line("Fit results in " + file_name);
        } else {
            // Nothing is lost: the listing comes to the output sink.
            s.out().line("Unable to write " + file_name + " completely... listing follows here.");
            s.out().raw(text);
        }
    }
}

// Fills the peak parameters of the channeling function from the markers.
void peaks_from_markers(Session& s, CommandContext& ctx) {
    if (s.fit.function != 19) {
        s.out().line("NOT APPLICABLE");
        return;
    }
    double w = ctx.number;
    if (w == 0.0) {
        s.out().blank_line();
        auto v = ask_free_number(s, " Width of peaks: ", false);
        if (!v) return;
        w = *v;
    }
    s.out().blank_line();
    const int peaks = std::min((s.fit.nparams - 11) / 3, 6);
    for (int k = 0; k < peaks; ++k) {
        s.fit.value[11 + 3 * k] = s.markers.y[k];
        s.fit.value[12 + 3 * k] = s.markers.x[k];
        s.fit.value[13 + 3 * k] = w;
    }
}

void function_flags(Session& s, CommandContext& ctx, bool set) {
    const std::string_view arg = ctx.argument();
    const char c = arg.empty() ? ' ' : static_cast<char>(std::toupper(static_cast<unsigned char>(arg[0])));
    const int v = set ? 1 : 0;
    std::string message;
    switch (c) {
    case 'X':
        s.fit.exp_argument = v;
        message = set ? "10**(X) made argument of function." : "X made argument of function.";
        break;
    case 'Y':
        s.fit.log_result = v;
        message = set ? "Log10 taken of function." : "Log10 of function reset to function.";
        break;
    case 'S':
        s.fit.sqrt_result = v;
        message = set ? "Square root taken of function." : "Square root of function reset to function.";
        break;
    default:
        if (!set) return;
        message = "No action taken.";
        break;
    }
    s.out().line(message);
    s.out().blank_line();
}

bool function_in_range(Session& s, long long n) {
    if (n >= 1 && n <= kFunctions) return true;
    s.out().line("Function numbers are 1 to " + std::to_string(kFunctions) + "; function " +
                 format_I(s.fit.function, 2) + " kept.");
    return false;
}

} // namespace

void cmd_param(Session& s, CommandContext& ctx) {
    if (ctx.qualifier == 'A') {
        param_listing(s, ctx);
        return;
    }
    if (ctx.qualifier == 'L') {
        param_bounds(s, ctx);
        return;
    }
    if (s.fit.nparams < 1) {
        s.out().line("? NO VARIABLES");
        return;
    }
    refresh_names(s);
    int first = 1, last = slots(s);
    if (ctx.number != 0.0) {
        const int i = round_nearest(std::fabs(ctx.number));
        if (i < 1 || i > slots(s)) {
            s.out().line("Parameter out of range, " + format_I(i, 8));
            return;
        }
        first = last = i;
    }
    for (int i = first; i <= last; ++i) {
        const int k = i - 1;
        const bool variable = s.fit.mask[k] != 0;
        const char letter = variable ? 'R' : 'D';
        const std::string prompt = video_attribute(s, letter, true) + format_I(i, 2) + " " +
                                   (variable ? "variable" : "constant") + " " + name10(s, k) + "= " +
                                   format_G(s.fit.value[k], 23, 15, 1) + " > " + video_attribute(s, letter, false);
        if (ctx.qualifier == 'X' || ctx.qualifier == 'Y') {
            s.out().prompt(prompt);
            s.fit.value[k] = ctx.qualifier == 'X' ? s.markers.x[0] : s.markers.y[0];
            echo_number(s, s.fit.value[k], Echo::Free);
            continue;
        }
        double a = s.fit.value[k], b = 0.0;
        if (!ask_pair(s, prompt, a, b)) return;
        s.fit.value[k] = a;
    }
}

void cmd_npar(Session& s, CommandContext& ctx) {
    long long n = truncate_int(ctx.number);
    if (n == 0) {
        double a = s.fit.nparams, b = 0.0;
        if (!ask_pair(s, "Number of parameters is " + format_I(s.fit.nparams, 2) + " new > ", a, b)) return;
        n = round_nearest(a);
    }
    if (n > kMaxParams)
        s.out().line("At most " + std::to_string(kMaxParams) + " parameters; the number is not changed.");
    else if (n >= 1)
        s.fit.nparams = static_cast<int>(n);
    s.out().line("Number of parameters set to " + format_I(s.fit.nparams, 10));
    s.out().blank_line();
    s.out().blank_line();
}

void cmd_funct(Session& s, CommandContext& ctx) {
    switch (ctx.qualifier) {
    case 'E': function_flags(s, ctx, true); return;
    case 'D': function_flags(s, ctx, false); return;
    case 'M': peaks_from_markers(s, ctx); return;
    default: break;
    }
    if (ctx.number > 0.0) {
        const int n = round_nearest(ctx.number);
        if (!function_in_range(s, n)) return;
        s.fit.function = n;
        refresh_names(s);
        s.out().line("Function number set to " + format_I(n, 2));
        s.out().blank_line();
        s.out().line(s.fit.function_name().view());
        s.out().blank_line();
        s.out().blank_line();
        return;
    }
    const int current = s.fit.function;
    ModelInputs mi{s.fit, s.data, s.models};
    list_catalogue(mi, [&](int k, const FixedText<50>& name) {
        s.out().line(format_I(k, 10) + " - " + std::string(name.view()));
    });
    double a = current, b = 0.0;
    if (ask_pair(s, "Current function no. is " + format_I(current, 2) + " new (CR to retain) > ", a, b)) {
        const double k = std::fabs(a) + 0.1;
        const long long n = k >= 2147483647.0 ? 2147483647LL : static_cast<long long>(k);
        if (n >= 1 && function_in_range(s, n)) s.fit.function = static_cast<int>(n);
    }
    refresh_names(s);
}

void cmd_mask(Session& s, CommandContext& ctx) {
    if (s.fit.nparams <= 0) {
        s.out().line("No parameters!");
        return;
    }
    const char q = ctx.qualifier == 'Z' ? '0' : ctx.qualifier;
    if (q == '0' || q == '1') {
        const int v = q - '0';
        for (int k = 0; k < slots(s); ++k) s.fit.mask[k] = v;
        s.out().line("All masks set to " + format_I(v, 1));
        return;
    }
    int first = 1, last = slots(s);
    if (ctx.number != 0.0) {
        const int i = round_nearest(std::fabs(ctx.number));
        if (i < 1 || i > slots(s)) {
            s.out().line("Illegal subscript " + format_I(i, 8));
            return;
        }
        first = last = i;
    }
    for (int i = first; i <= last; ++i) {
        const int k = i - 1;
        const char letter = s.fit.mask[k] == 1 ? 'R' : 'D';
        const std::string prompt = video_attribute(s, letter, true) + "Mask of parameter " + format_I(i, 2) + " , " +
                                   name10(s, k) + " is " + format_I(s.fit.mask[k], 1) + " new > " +
                                   video_attribute(s, letter, false);
        auto answer = ask_text(s, prompt, 1);
        if (!answer) return;
        if ((*answer)[0] == '0') s.fit.mask[k] = 0;
        if ((*answer)[0] == '1') s.fit.mask[k] = 1;
    }
}

void cmd_fval(Session& s, CommandContext& ctx) {
    float x = static_cast<float>(ctx.number);
    if (ctx.number == 0.0) {
        auto v = ask_real(s, "X > ", Echo::G13_5);
        if (!v) return;
        x = static_cast<float>(*v);
    }
    const double value = refresh_names(s, x);
    s.out().line("FOR X = " + format_G(x, 23, 15, 1) + " F" + format_I(s.fit.function, 2) +
                 "(X) = " + format_G(value, 23, 15, 1));
}

void cmd_chi(Session& s, CommandContext&) {
    if (s.data.count <= 0) {
        s.out().line("NO DATA! ");
        return;
    }
    SessionModel model(s);
    const double chi = chi_square_sum(s.data.X, s.data.Y, s.data.SIGMA, s.data.count, model.ref(), s.fit.value);
    // The sum over the points less the active parameters (a negative count
    // when there are fewer points, shown as it comes). With exactly as many
    // points as active parameters there is nothing to divide by: the plain
    // sum is shown, as the engine's own reduced chi-square does it.
    const int dof = s.data.count - active_count(s);
    const double reduced = chi / (dof != 0 ? dof : 1);
    const double lib = chi_square(s.engine(), s.out(), model.engine_inputs());
    s.out().blank_line();
    s.out().line("Current CHI**2 = " + format_G(chi, 12, 5, 1));
    s.out().line("Reduced CHI**2 = " + format_G(reduced, 12, 5, 1));
    s.out().line("Fit lib CHi**2 = " + format_G(lib, 12, 5, 1));
    s.out().blank_line();
}

void cmd_fit(Session& s, CommandContext& ctx) {
    if (ctx.qualifier == 'C') {
        cmd_fit_converging(s, ctx);
        return;
    }
    int max_iterations = 250;
    if (ctx.number > 0.5) {
        max_iterations = round_nearest(ctx.number);
        s.out().line("Maxmimum number of calls set to " + format_I(max_iterations, 5));
        s.out().blank_line();
    }
    run_described_fit(s, max_iterations);
}

DescribedFitRun run_described_fit(Session& s, int max_iterations) {
    DescribedFitRun run;
    const int m = active_count(s);
    s.out().line("No. parameters active = " + format_I(m, 8));
    if (m == 0) {
        s.out().line("No parameters active, can't fit!");
        s.out().blank_line();
        return run;
    }
    run.started = true;
    SessionModel model(s);
    s.out().line("Starting CHI**2 = " + format_G(chi_square(s.engine(), s.out(), model.engine_inputs()), 13, 5, 1));
    // Errors of a fit whose first step fails stay as they were.
    std::array<double, kMaxParams> errors = s.fit.error;
    run.finished = fit(s.engine(), s.out(), model.engine_inputs(), s.fit.value, errors, run.iterations, max_iterations,
                       stop_requested);
    for (int k = 0; k < slots(s); ++k) {
        if (s.fit.mask[k] == 0) continue;
        s.fit.error[k] = errors[k];
        s.out().line(format_I(k + 1, 2) + " " + name10(s, k) + " = " + format_G(s.fit.value[k], 13, 5, 1) +
                     "     error = " + format_G(s.fit.error[k], 13, 5, 1));
    }
    s.out().blank_line();
    s.out().line("After " + format_I(run.iterations, 8) + " iterations.");
    if (!run.finished) s.out().line("Fit stopped by a signal.");
    run.chi_square = chi_square(s.engine(), s.out(), model.engine_inputs());
    s.out().line("Final CHI**2 = " + format_G(run.chi_square, 13, 5, 1));
    record_last_fit(s, false, run.finished, run.finished ? "calls done" : "stopped by a signal", run.iterations,
                    s.data.count, run.chi_square);
    return run;
}

void cmd_mode(Session& s, CommandContext& ctx) {
    const int n = round_nearest(ctx.number);
    if (n > 0) {
        s.fit.mode = n;
    } else {
        auto v = ask_free_number(s, "Current mode is " + format_I(s.fit.mode, 2) + " > ", true);
        if (!v) return;
        if (s.macro_running()) echo_number(s, *v, Echo::I10);
        if (*v >= 0) s.fit.mode = static_cast<int>(*v);
    }
    s.out().line("Mode set to " + format_I(s.fit.mode, 3));
    s.out().blank_line();
}

void cmd_mval(Session& s, CommandContext& ctx) {
    const char q = ctx.qualifier == ' ' ? '1' : ctx.qualifier;
    if (q < '1' || q > '6') return;
    const int k = q - '1';
    double x = s.markers.x[k], y = s.markers.y[k];
    if (!ask_pair(s,
                  std::string("Current marker #") + q + " position (" + format_G(x, 13, 5, 1) + "," +
                      format_G(y, 13, 5, 1) + ") new > ",
                  x, y))
        return;
    s.markers.x[k] = x;
    s.markers.y[k] = y;
}

} // namespace tarva
