// ARC: an arc of a circle, or with ARC/L a straight line, on the last
// picture.
#include <algorithm>
#include <cmath>

#include "commands/commands.h"
#include "commands/graphics/annotation.h"
#include "plot/plot.h"
#include "session/dialogue.h"
#include "session/session.h"

namespace tarva {

namespace {

constexpr double kPi = 3.14159265358979323846;

// log10 of a positive coordinate; other values cannot be on a log axis and
// are left as typed.
double log_if_positive(double v) { return v > 0.0 ? std::log10(v) : v; }

void straight_line(Session& s, char letter) {
    double x1 = 0.0, y1 = 0.0, x2 = 0.0, y2 = 0.0;
    if (!ask_number_pair(s, "Arc start coords > ", x1, y1, PairEcho::G13_5)) return;
    if (!ask_number_pair(s, "Arc finish coords > ", x2, y2, PairEcho::G13_5)) return;
    if (letter == 'L') {
        x1 = log_if_positive(x1);
        y1 = log_if_positive(y1);
        x2 = log_if_positive(x2);
        y2 = log_if_positive(y2);
    } else if (letter == 'I') {
        x1 += s.markers.x[0];
        x2 += s.markers.x[0];
        y1 += s.markers.y[0];
        y2 += s.markers.y[0];
    }
    draw_on_last_picture(s, {{to_coordinate(x1), to_coordinate(y1), 3}, {to_coordinate(x2), to_coordinate(y2), 2}});
}

void circle_arc(Session& s, char letter, double radius) {
    if (radius == 0.0) {
        auto typed = ask_real(s, "Arc radius (in units of the x axis) > ");
        if (!typed) return;
        radius = *typed;
    }
    if (!(radius > 0.0)) return;
    radius = std::min(radius, 1e30);
    double cx = 0.0, cy = 0.0, x = 0.0, y = 0.0;
    if (!ask_number_pair(s, "Arc centre coords > ", cx, cy, PairEcho::G13_5)) return;
    if (!ask_number_pair(s, "Arc start coords > ", x, y, PairEcho::G13_5)) return;
    const double alpha = direction_angle(cx, cy, x, y);
    double beta = alpha;
    if (letter == 'C') {
        double fx = 0.0, fy = 0.0;
        if (!ask_number_pair(s, "Arc finish coords > ", fx, fy, PairEcho::G13_5)) return;
        beta = direction_angle(cx, cy, fx, fy);
    } else {
        auto delta = ask_real(s, "Angle differential (degrees) > ");
        if (!delta) return;
        beta = alpha + std::clamp(*delta, -1e6, 1e6) * kPi / 180.0;
    }
    float ux = 0.0f, uy = 0.0f;
    plot_unit_size(s, ux, uy);
    draw_on_last_picture(s, arc_points(cx, cy, radius, alpha, beta, ux, uy));
}

} // namespace

void cmd_arc(Session& s, CommandContext& ctx) {
    if (!picture_current(s)) return;
    const LetterAndNumber arg = letter_and_number(ctx);
    if (ctx.qualifier == 'L')
        straight_line(s, arg.letter);
    else
        circle_arc(s, arg.letter, arg.number);
    end_plot(s, s.draw.last_device);
}

} // namespace tarva
