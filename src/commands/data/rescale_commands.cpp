// XMODIF and YMODIF: linear rescaling of one coordinate (optionally only
// above or below a threshold of the other), the two-marker calibration of X
// and the division of Y. Arithmetic in double precision, results stored as
// single-precision data values.
#include <cmath>
#include <optional>

#include "commands/commands.h"
#include "session/dialogue.h"
#include "session/session.h"
#include "text/format.h"

namespace tarva {

namespace {

// Which points a rescaling touches, by the value of the other coordinate.
struct Selection {
    char qualifier = ' '; // 'S': at or above the threshold, 'I': at or below, else all
    double threshold = 0.0;
    bool takes(double other) const {
        if (qualifier == 'S') return other >= threshold;
        if (qualifier == 'I') return other <= threshold;
        return true;
    }
};

// The selection of qualifiers S and I: the threshold is the numeric
// argument, or asked for when that is (nearly) zero. Nothing when the command
// stops: input ended, or a prompted threshold of (nearly) zero.
std::optional<Selection> select_points(Session& s, const CommandContext& ctx, const char* other_axis) {
    Selection sel{ctx.qualifier, ctx.number};
    if (sel.qualifier != 'S' && sel.qualifier != 'I') return sel;
    if (std::fabs(sel.threshold) <= 1e-20) {
        const std::string bound = sel.qualifier == 'S' ? "Minimum " : "Maximum ";
        auto answer = ask_real(s, bound + other_axis + "-coordinate to apply transform > ", Echo::Free);
        if (!answer || std::fabs(*answer) < 1e-10) return std::nullopt;
        sel.threshold = *answer;
    }
    return sel;
}

// The two true X values of the markers; nothing when the input ended.
std::optional<std::pair<double, double>> ask_marker_values(Session& s) {
    double t1 = 0.0, t2 = 0.0, unused = 0.0;
    s.out().line("Calibrate the X-axis.");
    if (!ask_number_pair(s, "Actual value of marker 1 > ", t1, t2)) return std::nullopt;
    if (!ask_number_pair(s, "Actual value of marker 2 > ", t2, unused)) return std::nullopt;
    return std::make_pair(t1, t2);
}

void calibrate_x(Session& s) {
    auto truth = ask_marker_values(s);
    if (!truth) return;
    const double p1 = s.markers.x[0], p2 = s.markers.x[1];
    const auto [t1, t2] = *truth;
    if (std::fabs(p2 - p1) < 1e-20) {
        s.out().line("Both markers in the same position, unable to calibrate.");
        s.out().blank_line();
        return;
    }
    if (std::fabs(t2 - t1) < 1e-20) {
        s.out().line("Both markers given same value, calibration aborted.");
        s.out().blank_line();
        return;
    }
    const double gain = (t2 - t1) / (p2 - p1);
    const double offset = t2 - gain * p2;
    DataSet& d = s.data;
    d.experiment.energy_per_channel() = static_cast<float>(gain);
    d.experiment.energy_offset() = static_cast<float>(offset);
    s.out().line("Calibration: Xnew = " + format_G(gain, 12, 5, 1) + "*Xold + " + format_G(offset, 12, 5, 1));
    s.out().line("Don't forget to change the X-axis label (CAP/X).");
    s.out().blank_line();
    for (std::size_t i = 0; i < static_cast<std::size_t>(d.count); ++i)
        d.X[i] = static_cast<float>(gain * d.X[i] + offset);
}

void divide_y(Session& s, double divisor) {
    if (std::fabs(divisor) < 1e-20) {
        auto answer = ask_real(s, "Number to divide the y-axis > ");
        if (!answer) return;
        divisor = *answer;
        if (std::fabs(divisor) < 1e-20) return;
    }
    DataSet& d = s.data;
    for (std::size_t i = 0; i < static_cast<std::size_t>(d.count); ++i) {
        d.Y[i] = static_cast<float>(d.Y[i] / divisor);
        d.SIGMA[i] = static_cast<float>(d.SIGMA[i] / divisor);
    }
    d.experiment.normalisation() = static_cast<float>(d.experiment.normalisation() / divisor);
    s.out().line("Y-axis divided by " + format_G(divisor, 13, 5, 1));
    s.out().blank_line();
}

} // namespace

void cmd_xmodif(Session& s, CommandContext& ctx) {
    if (ctx.qualifier == 'C') {
        calibrate_x(s);
        return;
    }
    auto sel = select_points(s, ctx, "Y");
    if (!sel) return;
    double a = 1.0, b = 0.0;
    s.out().line("Scale the X coordinates");
    if (!ask_number_pair(s, "New X = A*(Old X) + B :  A, B > ", a, b)) return;
    DataSet& d = s.data;
    for (std::size_t i = 0; i < static_cast<std::size_t>(d.count); ++i)
        if (sel->takes(d.Y[i])) d.X[i] = static_cast<float>(d.X[i] * a + b);
}

void cmd_ymodif(Session& s, CommandContext& ctx) {
    if (ctx.qualifier == 'D') {
        divide_y(s, ctx.number);
        return;
    }
    auto sel = select_points(s, ctx, "X");
    if (!sel) return;
    double a = 1.0, b = 0.0;
    s.out().line("Scale the Y coordinates");
    if (!ask_number_pair(s, "New Y = A*(Old Y) + B : A, B > ", a, b)) return;
    DataSet& d = s.data;
    for (std::size_t i = 0; i < static_cast<std::size_t>(d.count); ++i) {
        if (!sel->takes(d.X[i])) continue;
        d.Y[i] = static_cast<float>(d.Y[i] * a + b);
        d.SIGMA[i] = static_cast<float>(d.SIGMA[i] * a);
    }
    d.experiment.normalisation() = static_cast<float>(d.experiment.normalisation() * a);
}

} // namespace tarva
