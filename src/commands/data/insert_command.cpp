// INSERT: a data set typed in by hand. The file form leads through a whole
// data file (texts, function, parameters, masks, points, corrections) and
// makes it the current data set as well; INSERT/I appends points one at a
// time and marks each on the last picture.
#include <cmath>
#include <optional>
#include <span>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "commands/commands.h"
#include "commands/data/data_transforms.h"
#include "graphics/axes.h"
#include "graphics/symbols.h"
#include "models/catalogue.h"
#include "models/evaluate.h"
#include "plot/drawing.h"
#include "plot/plot.h"
#include "session/dialogue.h"
#include "text/format.h"
#include "text/safe_file.h"

namespace tarva {

namespace {

constexpr const char* kBell = "\x07";
constexpr const char* kFull = "The data set holds at most 1024 points.";

std::optional<double> ask_number(Session& s, const std::string& prompt) { return ask_real(s, prompt, Echo::None); }

void store_point(DataSet& d, int index, double x, double y, double sigma) {
    const auto k = static_cast<std::size_t>(index);
    d.X[k] = static_cast<float>(x);
    d.Y[k] = static_cast<float>(y);
    d.SIGMA[k] = static_cast<float>(sigma);
}

// ---- immediate form ----------------------------------------------------

// The error of each new point: the numeric argument, sqrt(|y|) with S, or 0.
float immediate_sigma(const CommandContext& ctx, float y) {
    if (std::fabs(ctx.number) > 1e-10) return static_cast<float>(ctx.number);
    if (upper(ctx.argument().substr(0, 1)) == "S") return std::sqrt(std::fabs(y));
    return 0.0f;
}

// The new point as a symbol with its error bar, in the last picture's frame
// (its limits and symbol size, whatever was drawn since).
void mark_point(Session& s, float x, float y, float sigma) {
    const DrawSettings& d = s.draw;
    const char device = d.last_device;
    set_window(s, d.old_xmin, d.old_xmax, d.old_ymin, d.old_ymax);
    float ux = 0.0f, uy = 0.0f;
    plot_unit_size(s, ux, uy);
    set_symbol_unit(s, ux, uy);
    const int symbol = d.fixed_symbol != 0 ? d.fixed_symbol : d.overlay;
    draw_symbol(s, device, x, y, sigma, symbol, d.symbol_size);
    end_plot(s, device);
}

void insert_immediate(Session& s, const CommandContext& ctx) {
    if (!s.draw.picture_drawn) {
        s.out().line("Unable to use immediate mode.");
        return;
    }
    s.out().line("Insert data in immediate mode, type Q to quit");
    for (;;) {
        if (s.data.count >= kMaxPoints) {
            s.out().line(kFull);
            break;
        }
        double x = 0.0, y = 0.0;
        if (ask_number_pair_once(s, "New (x,y) > ", x, y) != kPairOk) break;
        const auto fy = static_cast<float>(y);
        const float sigma = immediate_sigma(ctx, fy);
        store_point(s.data, s.data.count, x, y, sigma);
        s.data.count += 1;
        mark_point(s, static_cast<float>(x), fy, sigma);
    }
    s.out().line(std::string("Type SAVE to save this data.") + kBell);
    s.out().blank_line();
}

// ---- file form ---------------------------------------------------------

bool file_exists(const std::string& name) {
    struct stat st {};
    return ::stat(name.c_str(), &st) == 0;
}

// The output file name, with ".fit" added, and leave to replace an
// existing file. nullopt when INSERT is to end.
std::optional<std::string> output_name(Session& s, const CommandContext& ctx) {
    std::string name(trim(ctx.argument().substr(0, 30)));
    if (name.empty()) {
        auto answer = ask_file_name(s, "Filename for output > ", 30, false);
        if (!answer) return std::nullopt;
        name = std::string(trim(*answer));
        if (name.empty()) return std::nullopt;
    }
    if (name.find(".FIT") == std::string::npos && name.find(".fit") == std::string::npos) name += ".fit";
    if (file_exists(name)) {
        auto answer = special::ask_letter(s, name + " already exists, overwrite? (Y or N) > ");
        if (!answer || *answer == 'N') return std::nullopt;
    }
    return name;
}

bool ask_label(Session& s, const std::string& prompt, FixedText<100>& field) {
    auto answer = ask_text(s, prompt, 100, false);
    if (!answer) return false;
    field = *answer;
    return true;
}

// A text line of the file: a blank column, then the text without trailing
// blanks but at least one character, so a text left empty is written as a
// single blank after the column. Files written so have always carried that
// column, and DATA keeps it as the first character of the text it reads back.
std::string text_line(const FixedText<100>& text) {
    const std::string_view t = text.trimmed();
    return " " + (t.empty() ? std::string(" ") : std::string(t)) + "\n";
}

// The function number, with the catalogue listed on request.
std::optional<int> ask_function(Session& s) {
    ModelInputs m{s.fit, s.data, s.models};
    for (;;) {
        auto answer = ask_number(s, "Function number (CR for none, -1 for a list) > ");
        if (!answer) return std::nullopt;
        if (*answer < -0.5) {
            s.out().blank_line();
            s.out().blank_line();
            s.out().line("         Ifun - Function");
            s.out().blank_line();
            list_catalogue(m, [&](int k, const FixedText<50>& name) {
                s.out().line("         " + format_I(k, 2) + " - " + std::string(name.view()));
            });
            continue;
        }
        const int f = round_nearest(*answer);
        // Numbers beyond the catalogue become 5 as below 1, which is also
        // how DATA would read them back.
        return f < 1 || f > kMaxParams ? 5 : f;
    }
}

// Function, parameter count, parameter values and masks.
bool ask_fit_state(Session& s) {
    auto function = ask_function(s);
    if (!function) return false;
    FitState& fit = s.fit;
    ModelInputs m{fit, s.data, s.models};
    fit.nparams = 1;
    select_function(m, *function);
    s.out().blank_line();
    s.out().line(fit.function_name().view());
    s.out().blank_line();
    if (!takes_parameters(fit.function)) return true;

    double answer = 0.0;
    for (;;) {
        auto n = ask_number(s, "Number of parameters in the function (CR for   none) > ");
        if (!n) return false;
        answer = *n;
        if (round_nearest(answer) <= kMaxParams) break;
        s.out().line("The largest number of parameters is 50.");
    }
    fit.nparams = std::max(1, round_nearest(answer));
    if (!(answer > 0.0)) return true;
    select_function(m, fit.function); // the parameter names for this count
    for (int i = 0; i < fit.nparams; ++i) {
        const auto k = static_cast<std::size_t>(i);
        const std::string label = format_I(i + 1, 3) + " " + std::string(fit.param_name(i).view()) + " > ";
        auto value = ask_number(s, "Value of parameter " + label);
        if (!value) return false;
        fit.value[k] = *value;
        auto mask = ask_number(s, " Mask of parameter " + label);
        if (!mask) return false;
        fit.mask[k] = round_nearest(*mask);
    }
    return true;
}

std::string fit_state_lines(const FitState& fit) {
    std::string text = " " + format_I(fit.function, 10) + format_I(fit.nparams, 10) + "\n";
    for (int i = 0; i < fit.nparams; ++i) text += " " + g13(fit.value[static_cast<std::size_t>(i)]) + "\n";
    for (int i = 0; i < fit.nparams; ++i) text += " " + format_I(fit.mask[static_cast<std::size_t>(i)], 2) + "\n";
    text += " " + format_I(0, 2) + "\n";
    return text;
}

std::string point_prompt(int i, bool errors) {
    return "Data point " + format_I(i, 3) + (errors ? " X,Y,Yerr > " : " X,Y > ");
}

// One point typed as X, Y (and the error) on one line.
bool ask_point(Session& s, int index, bool errors) {
    double v[3] = {0.0, 0.0, 0.0};
    if (!special::ask_numbers(s, point_prompt(index + 1, errors), std::span<double>(v, errors ? 3 : 2), false))
        return false;
    store_point(s.data, index, v[0], v[1], v[2]);
    return true;
}

// The usual way: a count, then each point.
bool enter_points(Session& s, bool errors) {
    int count = 0;
    while (count < 1) {
        auto n = ask_number(s, "Number of data point pairs > ");
        if (!n) return false;
        count = round_nearest(*n);
        if (count > kMaxPoints) {
            s.out().line(kFull);
            count = 0;
        }
    }
    s.data.count = count;
    for (int i = 0; i < count; ++i)
        if (!ask_point(s, i, errors)) return false;
    return true;
}

// X in the increment prompt: 1P G13.5 left-justified, 0 as "0.0".
std::string shown_x(double x) { return x == 0.0 ? std::string("0.0") : std::string(trim(g13(x))); }

// The increment way: X from an initial value, a final value and an increment; the
// user types only Y (and the error) of each point.
bool enter_increments(Session& s, bool errors) {
    double v[3] = {0.0, 0.0, 0.0};
    for (;;) {
        if (!special::ask_numbers(s, "Initial X, Final X, X increment > ", v, true)) return false;
        // An increment of 0 or one leading away from the final X would make
        // no points (or never end). Decreasing X is allowed.
        if (v[2] != 0.0 && (v[1] - v[0]) / v[2] >= 0.0) break;
        s.out().line("The increment must lead from the initial to the final X.");
    }
    const double x0 = v[0], x1 = v[1], d = v[2];
    const int repeats = round_nearest((x1 + d - x0 + d) / d);
    // Up to half an increment beyond the final X, whichever way X goes.
    auto before_end = [&](double x) { return d > 0.0 ? x <= x1 + d / 2.0 : x >= x1 + d / 2.0; };
    double x = x0;
    int made = 0;
    for (int r = 0; r < repeats && before_end(x); ++r) {
        if (made >= kMaxPoints) {
            s.out().line(kFull);
            break;
        }
        double yv[2] = {0.0, 0.0};
        const std::string prompt = point_prompt(made + 1, errors) + shown_x(x) + ",";
        if (!special::ask_numbers(s, prompt, std::span<double>(yv, errors ? 2 : 1), false)) return false;
        store_point(s.data, made, x, yv[0], yv[1]);
        ++made;
        s.data.count = made;
        x += d;
    }
    s.data.count = made;
    return true;
}

// The correction pass: points picked by number and typed again; a number above the
// count adds a point at the end.
bool correct_points(Session& s, bool errors) {
    DataSet& d = s.data;
    for (;;) {
        auto answer = ask_number(s, "Data point number (CR to end) > ");
        if (!answer) return false;
        int k = round_nearest(*answer);
        if (k < 1) return true;
        if (k > d.count) {
            if (d.count >= kMaxPoints) {
                s.out().line(kFull);
                continue;
            }
            d.count += 1;
            k = d.count;
        }
        const auto i = static_cast<std::size_t>(k - 1);
        s.out().line(format_I(k, 4) + ": Old values   " + g13(d.X[i]) + " " + g13(d.Y[i]) + " " + g13(d.SIGMA[i]));
        if (errors) {
            if (!ask_point(s, k - 1, true)) return false;
            continue;
        }
        double x = d.X[i], y = d.Y[i];
        if (!ask_number_pair(s, "New Values X, Y > ", x, y)) return false;
        store_point(d, k - 1, x, y, 0.0);
    }
}

std::string point_lines(const DataSet& d) {
    std::string text;
    for (int i = 0; i < d.count; ++i) {
        const auto k = static_cast<std::size_t>(i);
        text += " " + g13(d.X[k]) + "," + g13(d.Y[k]) + "," + g13(d.SIGMA[k]) + "\n";
    }
    return text;
}

void insert_file(Session& s, CommandContext& ctx) {
    auto chosen = output_name(s, ctx);
    if (!chosen) return;
    const std::string name = *chosen;
    ctx.line = pad(ctx.word(), 7) + name;
    FitState& fit = s.fit;
    fit.value.fill(0.0);
    fit.error.fill(0.0);
    fit.mask.fill(0);

    // The bytes go to a temporary file that replaces the target only when
    // the whole dialogue is done: an abandoned dialogue leaves no half file.
    SafeFileWriter file(name);
    if (!file.open()) {
        s.out().line("Unable to open " + name + " for output.");
        s.out().blank_line();
        return;
    }
    s.out().line("New data going into file: " + name);
    DataSet& d = s.data;
    d.file_name = name;

    if (!ask_label(s, "Heading (CR for none) > ", d.caption) ||
        !ask_label(s, "X axis label (CR for none) > ", d.x_label) ||
        !ask_label(s, "Y axis label (CR for none) > ", d.y_label))
        return;
    file.write(text_line(d.caption) + text_line(d.x_label) + text_line(d.y_label));
    if (!ask_fit_state(s)) return;
    d.dimensions = 0;
    d.log_y = d.log_x = d.log_scale_y = d.log_scale_x = 0; // the points are plain values
    d.spectrum_loaded = 0;
    file.write(fit_state_lines(fit));

    s.out().blank_line();
    auto constant = special::ask_letter(s, "Do your X coordinates increase in constant increments? (Y/N) > ");
    if (!constant) return;
    auto with_errors = special::ask_letter(s, "     Do you wish to enter errors on the Y data points? (Y/N) > ");
    if (!with_errors) return;
    const bool errors = *with_errors != 'N';
    if (!(*constant == 'Y' ? enter_increments(s, errors) : enter_points(s, errors))) return;

    auto correct = special::ask_letter(s, "Do you want to correct/alter/add to any of the above points? (Y/N) > ");
    if (!correct) return;
    if (*correct == 'Y' && !correct_points(s, errors)) return;

    file.write(point_lines(d));
    if (file.commit() != ReplaceStatus::Ok) {
        s.out().line("Unable to write " + name + " completely... data not saved.");
        s.out().blank_line();
    }
}

} // namespace

void cmd_insert(Session& s, CommandContext& ctx) {
    if (ctx.qualifier == 'I')
        insert_immediate(s, ctx);
    else
        insert_file(s, ctx);
}

} // namespace tarva
