// DRAW: the settings forms and the option flags. The picture itself is in
// picture.cpp.
#include "commands/graphics/draw/draw_command.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "commands/commands.h"
#include "session/dialogue.h"
#include "text/format.h"

namespace tarva {

namespace {

// Rounds half away from zero, clamped to the int range.
int round_away(double v) {
    if (!std::isfinite(v)) return 0;
    const double r = std::round(v);
    if (r > 2.0e9) return 2000000000;
    if (r < -2.0e9) return -2000000000;
    return static_cast<int>(r);
}

// Rounded to the nearest integer (half up) and limited to [lo, hi].
int rounded_in(double v, int lo, int hi) {
    if (!std::isfinite(v)) return lo;
    return std::clamp(round_nearest(v), lo, hi);
}

std::string int_text(long long v) { return free_int(v).substr(1); }

void set_steps(Session& s, const CommandContext& ctx) {
    // More steps than an I4 field shows would only slow every picture down.
    constexpr int kMaxSteps = 9999;
    const int n = rounded_in(ctx.number, 0, kMaxSteps);
    if (n > 0) s.draw.curve_steps = n;
    s.out().line("Number of steps to draw the function set to " + format_I(s.draw.curve_steps, 4));
}

void set_destination(Session& s, const CommandContext& ctx) {
    std::string name(trim(ctx.argument()));
    if (name.empty()) {
        auto answer = ask_file_name(
            s, "Default destination is " + std::string(s.draw.default_destination.trimmed()) + " new > ", 50);
        if (!answer) return;
        name = std::string(trim(*answer));
    }
    if (!name.empty()) s.draw.default_destination = name;
    open_draw_destination(s, s.draw.default_destination);
    s.out().line("Default destination set to " + std::string(s.draw.default_destination.trimmed()));
}

void set_default_device(Session& s, const CommandContext& ctx) {
    const std::string_view arg = ctx.argument_trimmed();
    const auto first = arg.find_first_not_of(' ');
    char c = first == std::string_view::npos ? ' ' : arg[first];
    if (c == ' ') {
        auto answer = ask_text(s, std::string("Old default option is ") + s.draw.default_device + " new > ", 1);
        if (!answer) return;
        c = (*answer)[0];
    }
    if (c != ' ') s.draw.default_device = c;
    s.out().line(std::string("Default option set to ") + s.draw.default_device);
}

void set_dash(Session& s, const CommandContext& ctx) {
    const double v = ctx.number;
    if (v > 1e-5) {
        s.draw.dash = static_cast<float>(std::min(v, 1.0e6));
        s.out().line("Dash in dash-space lines set to " + format_F(s.draw.dash, 10, 2));
    } else if (v < -1e-5) {
        s.draw.space = static_cast<float>(std::min(-v, 1.0e6));
        s.out().line("Space in dash-space lines set to " + format_F(s.draw.space, 10, 2));
    } else {
        s.draw.dash = 0.0f;
        s.draw.space = 0.0f;
        s.out().line("Line type set to solid line.");
    }
}

void set_aspect(Session& s, const CommandContext& ctx) {
    double v = ctx.number;
    if (!(v > 0.0)) {
        auto answer = ask_real(s, "Aspect ratio for plot (NL for " + limit_text(kSqrt2) + ") > ");
        if (!answer) return;
        v = *answer;
    }
    // Ratios beyond these make a box no device can show.
    if (!(v > 0.001) || !std::isfinite(v)) v = kSqrt2;
    v = std::min(v, 1000.0);
    s.graphics.aspect = static_cast<float>(v);
    const std::string value = format_G(s.graphics.aspect, 12, 5, 1);
    if (s.graphics.aspect == 1.0f)
        s.out().line("Aspect ratio set to square: " + value);
    else if (s.graphics.aspect > 1.0f)
        s.out().line("Aspect ratio set to horizontal rectangle: " + value);
    else
        s.out().line("Aspect ratio set to vertical rectangle: " + value);
}

void set_pause(Session& s, const CommandContext& ctx) {
    const double v = std::fabs(ctx.number);
    s.draw.pause = std::isfinite(v) ? static_cast<float>(std::min(v, 1.0e6)) : 0.0f;
    s.out().line("Pause before plot start set to " + format_F(s.draw.pause, 4, 1) + " seconds.");
}

void set_gradations(Session& s, const CommandContext& ctx) {
    double n = ctx.number;
    if (!(n > 0.0)) {
        auto answer = ask_real(s, "Set gradations to 1/N div., N > ");
        if (!answer) return;
        n = *answer;
    }
    // More divisions than a mark can hold would only fill the axis with ink.
    if (n > 0.0 && std::isfinite(n)) draw_axis_value(s, 'G', std::min(n, 100.0));
}

// A pair typed after the command word, or else asked for.
bool pair_from_line_or_ask(Session& s, const CommandContext& ctx, const std::string& prompt, double& a, double& b) {
    if (!ctx.argument_trimmed().empty() && parse_number_pair(ctx.argument(), a, b) == kPairOk) return true;
    return ask_number_pair(s, prompt, a, b);
}

// Digits after the point; any negative count means "chosen from the span".
double digits_setting(double v) {
    if (!std::isfinite(v) || v < 0.0) return -1.0;
    return std::min(v, 9.0);
}

void set_digits(Session& s, const CommandContext& ctx) {
    double ix = -1.0, iy = -2.0;
    if (!pair_from_line_or_ask(s, ctx, "Number of figs after decimal point (Ix,Iy) > ", ix, iy)) return;
    draw_axis_value(s, 'I', digits_setting(ix));
    draw_axis_value(s, 'J', digits_setting(iy));
}

void set_box_placement(Session& s) {
    double ox = 0.0, oy = 0.0;
    if (!ask_number_pair(s, "Screen offsets for box along x- and x-axes (mm) > ", ox, oy)) return;
    auto scale = ask_real(s, "               Screen scale factor (CR for 1.0) > ");
    if (!scale) return;
    double f = *scale;
    if (!(f > 0.0) || !std::isfinite(f)) f = 1.0;
    draw_terminal_placement(s, f, ox, oy);
}

void set_number_counts(Session& s, const CommandContext& ctx) {
    double nx = s.draw.numbers_x, ny = s.draw.numbers_y;
    const std::string prompt = "Number of numbers along X and Y (curr " + int_text(s.draw.numbers_x) + ", " +
                               int_text(s.draw.numbers_y) + ") > ";
    if (!pair_from_line_or_ask(s, ctx, prompt, nx, ny)) return;
    // Kept as typed (rounded, without sign); the axis step counts a number
    // below 1 as 1, so a count of 0 still gives a usable axis.
    constexpr int kMostNumbers = 999999;
    s.draw.numbers_x = rounded_in(std::fabs(nx), 0, kMostNumbers);
    s.draw.numbers_y = rounded_in(std::fabs(ny), 0, kMostNumbers);
    s.out().line("Number of numbers set to " + int_text(s.draw.numbers_x) + ", " + int_text(s.draw.numbers_y));
}

void set_char_size(Session& s, const CommandContext& ctx) {
    double v = ctx.number;
    if (!(v > 1e-5)) {
        auto answer =
            ask_real(s, "Character size increase factor (curr=" + format_F(s.graphics.char_size, 5, 2) + ") > ");
        if (!answer) return;
        v = *answer;
    }
    if (v > 0.01 && std::isfinite(v)) s.graphics.char_size = static_cast<float>(std::min(v, 100.0));
}

void set_colour(Session& s, const CommandContext& ctx) {
    const double v = ctx.number;
    if (v > 0.0 && round_nearest(v) > 0) {
        s.draw.pen_colour = rounded_in(v, 1, 99);
        s.out().line("Pen colour is " + format_I(s.draw.pen_colour, 2));
        draw_pen_changed(s, s.draw.pen_colour);
    } else if (v <= -1e-5) {
        s.draw.line_width = static_cast<float>(std::isfinite(v) ? std::min(-v, 99.0) : 1.0);
        s.out().line("Line width set to : " + format_F(s.draw.line_width, 10, 2));
        draw_pen_changed(s, -rounded_in(s.draw.line_width, 1, 99));
    }
}

void set_velocity(Session& s, const CommandContext& ctx) {
    double v = ctx.number;
    if (round_nearest(v) < 1) {
        auto answer = ask_real(s, "Current pen velocity is " + format_I(s.draw.pen_velocity, 2) + " cm/s,new > ");
        if (!answer) return;
        v = *answer;
    }
    if (round_nearest(v) >= 1) s.draw.pen_velocity = rounded_in(v, 1, 99);
    s.out().line("Pen velocity set to " + format_I(s.draw.pen_velocity, 2) + " cm/2.");
}

void set_line_style(Session& s, const CommandContext& ctx) {
    const int n = round_away(ctx.number);
    if (n >= 0) {
        s.draw.line_style = std::min(n, 9);
        if (n == 0) s.out().line("(Solid line.)");
    } else {
        s.out().line(" Interval set to " + free_real(-static_cast<double>(n) / 10.0) + " %");
    }
}

void set_size_factor(Session& s, const CommandContext& ctx, float& factor, const char* prompt, const char* message) {
    double v = ctx.number;
    if (!(v > 0.0)) {
        auto answer = ask_real(s, std::string(prompt) + format_F(factor, 5, 2) + " new > ");
        if (!answer) return;
        v = *answer;
    }
    if (v > 1e-10 && std::isfinite(v)) factor = static_cast<float>(std::min(v, 99.0));
    s.out().line(message + format_F(factor, 5, 2));
}

void set_fixed_symbol(Session& s, char digit) {
    s.draw.fixed_symbol = digit - '0';
    if (s.draw.fixed_symbol == 0)
        s.out().line(" Plot symbol not fixed.");
    else
        s.out().line(" Fixed plot symbol " + format_I(s.draw.fixed_symbol, 1) + " selected.");
}

} // namespace

DrawArguments draw_arguments(const CommandContext& ctx) {
    DrawArguments a;
    const std::string_view arg = ctx.argument();
    std::size_t i = 0;
    auto word = [&] {
        while (i < arg.size() && (arg[i] == ' ' || arg[i] == '\t')) ++i;
        const std::size_t start = i;
        while (i < arg.size() && arg[i] != ' ' && arg[i] != '\t') ++i;
        return std::string(arg.substr(start, i - start));
    };
    a.key = upper(word());
    a.file = word();
    return a;
}

void cmd_draw(Session& s, CommandContext& ctx) {
    const char q = ctx.qualifier;
    const DrawArguments args = draw_arguments(ctx);
    switch (q) {
    case 'R': draw_redraw(s, args); return;
    case 'N': set_steps(s, ctx); return;
    case 'Y': set_destination(s, ctx); return;
    case 'T': set_default_device(s, ctx); return;
    case 'Z': set_dash(s, ctx); return;
    case 'A': set_aspect(s, ctx); return;
    case 'W': set_pause(s, ctx); return;
    case 'G': set_gradations(s, ctx); return;
    case 'M': set_digits(s, ctx); return;
    case 'B': set_box_placement(s); return;
    case 'F': set_number_counts(s, ctx); return;
    case 'I': set_char_size(s, ctx); return;
    case 'C': set_colour(s, ctx); return;
    case 'V': set_velocity(s, ctx); return;
    case 'L': set_line_style(s, ctx); return;
    case 'K':
        set_size_factor(s, ctx, s.axes.mark_size, "Current mark size factor ", "Mark size factor set to ");
        return;
    case 'J':
        set_size_factor(s, ctx, s.draw.symbol_size, "Current plot symbol size factor ", "Symbol size factor set to ");
        return;
    case 'E': draw_flag(s, args.key, true); return;
    case 'D': draw_flag(s, args.key, false); return;
    default: break;
    }
    if (q >= '0' && q <= '9') {
        set_fixed_symbol(s, q);
        return;
    }
    draw_picture(s, q == ' ' ? s.draw.default_device : q, args);
}

} // namespace tarva
