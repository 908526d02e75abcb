// DRAW/c: the picture of the data set, the model curve and the axes.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <thread>

#include "commands/commands.h"
#include "commands/graphics/draw/curve.h"
#include "commands/graphics/draw/draw_command.h"
#include "commands/graphics/draw/labels.h"
#include "graphics/axes.h"
#include "graphics/symbols.h"
#include "models/catalogue.h"
#include "plot/drawing.h"
#include "plot/plot.h"
#include "session/dialogue.h"
#include "text/format.h"

namespace tarva {

namespace {

// Asks for a pair of limits until they differ; false when the input ended.
bool ask_limits(Session& s, const char* prompt_head, float& lo, float& hi) {
    for (;;) {
        double a = lo, b = hi;
        const std::string prompt =
            std::string(prompt_head) + " (CR for " + limit_text(lo) + " to " + limit_text(hi) + ") > ";
        if (!ask_number_pair(s, prompt, a, b)) return false;
        if (a > b) std::swap(a, b);
        const bool usable = std::isfinite(a) && std::isfinite(b) && std::fabs(a) < 1.0e38 && std::fabs(b) < 1.0e38;
        if (!usable || std::fabs(b - a) < 1e-30) {
            s.out().line("Min " + limit_text(a) + " Max " + limit_text(b) + ". Zero range!, try again.");
            continue;
        }
        lo = static_cast<float>(a);
        hi = static_cast<float>(b);
        return true;
    }
}

// The limits from the data: X over all points, Y over the points inside
// the X limits, with the user's choices (X prompts, R shows) and the old
// limits (TX, TY).
bool chosen_limits(Session& s, char key, PlotLimits& l) {
    const DrawSettings& d = s.draw;
    Range xr = data_x_range(s);
    if (!d.flags.spectral) widen(xr, 0.05f);
    l.xmin = xr.low();
    l.xmax = xr.high();
    if (key == 'X') {
        if (!ask_limits(s, "Xmin to Xmax", l.xmin, l.xmax)) return false;
    } else if (d.flags.old_x_limits) {
        l.xmin = d.old_xmin;
        l.xmax = d.old_xmax;
    }
    Range yr = data_y_range(s, false, l.xmin, l.xmax);
    if (d.flags.spectral) spectral_y(yr);
    l.ymin = yr.low();
    l.ymax = yr.high();
    if (key == 'R') {
        s.out().line("Ymin to Ymax (       " + limit_text(l.ymin) + " to " + limit_text(l.ymax) + ")");
    } else if (key == 'X') {
        if (!ask_limits(s, "Ymin to Ymax", l.ymin, l.ymax)) return false;
    } else if (d.flags.old_y_limits) {
        l.ymin = d.old_ymin;
        l.ymax = d.old_ymax;
    }
    return true;
}

} // namespace

bool picture_limits(Session& s, const DrawArguments& args, PlotLimits& limits) {
    const char key = args.key.empty() ? ' ' : args.key[0];
    if (key == 'O') {
        const std::string name = limits_file_name(args.file);
        switch (read_limits_file(name, limits)) {
        case LimitsFileStatus::Ok: return true;
        case LimitsFileStatus::Missing:
            s.out().line("\aCan't find " + name + " defaults used.");
            limits = default_limits(s);
            return true;
        case LimitsFileStatus::CheckFailed: s.out().line("Unable to check the existance of " + name); return false;
        case LimitsFileStatus::OpenFailed: s.out().line("Unable to open " + name); return false;
        case LimitsFileStatus::ReadFailed: s.out().line("Error reading limits from " + name); return false;
        }
        return false;
    }
    if (key == 'S') {
        const std::string name = limits_file_name(args.file);
        const DrawSettings& d = s.draw;
        if (!write_limits_file(name, {d.old_xmin, d.old_xmax, d.old_ymin, d.old_ymax})) {
            s.out().line("Unable to open " + name);
            return false;
        }
        s.out().line(" Draw limits saved in file " + name);
        return false;
    }
    if (key == 'M') {
        // Markers 1 and 2 span the picture, whichever way round they were set.
        const auto& m = s.markers;
        limits.xmin = static_cast<float>(std::min(m.x[0], m.x[1]));
        limits.xmax = static_cast<float>(std::max(m.x[0], m.x[1]));
        limits.ymin = static_cast<float>(std::min(m.y[0], m.y[1]));
        limits.ymax = static_cast<float>(std::max(m.y[0], m.y[1]));
        return true;
    }
    if (key == 'X' || key == 'R' || s.draw.flags.old_limits) return chosen_limits(s, key, limits);
    limits = default_limits(s);
    return true;
}

namespace {
// A picture needs a box with an area that single precision can span.
bool usable_limits(const PlotLimits& l) {
    const float dx = l.xmax - l.xmin, dy = l.ymax - l.ymin;
    if (!std::isfinite(dx) || !std::isfinite(dy)) return false;
    return dx * dy != 0.0f;
}
} // namespace

namespace {

// Waits before a terminal picture, so that text on the screen can still be
// read; files are written at once.
void pause_before_picture(const Session& s, char device) {
    const float p = s.draw.pause;
    if (!(p > 1e-10f)) return;
    const char d = static_cast<char>(std::toupper(static_cast<unsigned char>(device)));
    if (d != 'S' && d != ' ') return;
    constexpr float kLongest = 60.0f; // a mistyped pause must not hang the session
    std::this_thread::sleep_for(std::chrono::duration<float>(std::min(p, kLongest)));
}

// The data and the function line of one overlay (steps 10 and 11), with
// the line style of DRAW/L for the line only.
void draw_overlay(Session& s, char device, const PlotLimits& box, const DrawArguments& args) {
    if (s.draw.flags.data_points && args.key.rfind('N', 0) != 0) draw_data_points(s, device, box);
    s.graphics.line_style = s.draw.line_style;
    draw_function_line(s, device, box);
    s.graphics.line_style = 0;
}

// The symbol unit before a picture begins: the spans over 190 and 160.
void symbol_unit_from_spans(Session& s, const PlotLimits& box) {
    set_symbol_unit(s, (box.xmax - box.xmin) / 190.0f, (box.ymax - box.ymin) / 160.0f);
}

// Once the window is set, symbols are measured in plot units.
void symbol_unit_from_plot_unit(Session& s) {
    float ux = 0, uy = 0;
    plot_unit_size(s, ux, uy);
    set_symbol_unit(s, ux, uy);
}

void draw_marks(Session& s, char device) {
    draw_axes(s, device, s.draw.numbers_x, s.draw.numbers_y, s.graphics.char_size, s.draw.flags.log_y);
}

} // namespace

void draw_picture(Session& s, char device, const DrawArguments& args) {
    const char key = args.key.empty() ? ' ' : args.key[0];
    if (s.data.count <= 0 && key != 'X') {
        s.out().line("No data!");
        return;
    }
    s.draw.overlay = 1;
    s.draw.last_device = device;
    if (model_kind(s.fit.function) == ModelKind::Spline && s.draw.flags.instant_spline) {
        CommandContext spline;
        spline.line = "SPLINE";
        cmd_spline(s, spline);
    }
    PlotLimits box;
    if (!picture_limits(s, args, box)) return;
    if (!usable_limits(box)) {
        s.out().line("?DRAW: zero range !");
        return;
    }
    symbol_unit_from_spans(s, box);
    pause_before_picture(s, device);
    float status = 0.0f;
    begin_plot(s, s.graphics.aspect, device, box.xmin, box.xmax, box.ymin, box.ymax, status);
    if (status != 0.0f) return; // the device could not start the picture
    s.draw.old_xmin = box.xmin;
    s.draw.old_xmax = box.xmax;
    s.draw.old_ymin = box.ymin;
    s.draw.old_ymax = box.ymax;
    s.draw.picture_drawn = true;
    s.draw.legend_right = box.xmax;
    s.draw.legend_row = 0;
    const DrawFlags& f = s.draw.flags;
    if (f.box)
        draw_box(s, device, box.xmin, box.xmax, box.ymin, box.ymax);
    else
        set_window(s, box.xmin, box.xmax, box.ymin, box.ymax);
    symbol_unit_from_plot_unit(s);
    if (f.marks) draw_marks(s, device);
    draw_title(s, device, box);
    draw_captions(s, device, box);
    draw_overlay(s, device, box, args);
    if (f.axis) draw_zero_axes(s, device, box);
    if (f.parameters) draw_parameter_line(s, device, box);
    if (f.name) draw_data_name(s, device, box);
    end_plot(s, device);
}

void draw_redraw(Session& s, const DrawArguments& args) {
    if (!s.draw.picture_drawn) {
        s.out().line("?DRAW - Can't redraw.");
        return;
    }
    const char device = s.draw.last_device;
    const DrawSettings& d = s.draw;
    const PlotLimits box{d.old_xmin, d.old_xmax, d.old_ymin, d.old_ymax};
    const char key = args.key.empty() ? ' ' : args.key[0];
    if (key == 'B') {
        draw_box(s, device, box.xmin, box.xmax, box.ymin, box.ymax);
        end_plot(s, device);
        return;
    }
    set_window(s, box.xmin, box.xmax, box.ymin, box.ymax);
    symbol_unit_from_plot_unit(s);
    if (key == 'M') {
        draw_marks(s, device);
        end_plot(s, device);
        return;
    }
    s.draw.overlay += 1;
    draw_overlay(s, device, box, args);
    if (s.draw.flags.name) draw_data_name(s, device, box);
    end_plot(s, device);
}

} // namespace tarva
