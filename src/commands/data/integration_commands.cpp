// INTEG: areas under the data and under the current function, between the
// ends of the data or between markers 1 and 2, less a straight background.
#include <algorithm>
#include <cmath>
#include <string>

#include "commands/commands.h"
#include "commands/graphics/draw/guide_line.h"
#include "dataset/integration.h"
#include "graphics/text.h"
#include "models/evaluate.h"
#include "plot/drawing.h"
#include "plot/plot.h"
#include "session/session.h"
#include "text/fixed_text.h"
#include "text/format.h"

namespace tarva {

namespace {

constexpr int kDefaultSteps = 250;
// A step count far beyond any use would only keep the program busy.
constexpr int kMaxSteps = 1000000;

// Index of the point whose X is nearest to x, the first one on ties.
std::size_t nearest_point(const DataSet& d, double x) {
    std::size_t best = 0;
    double best_distance = std::fabs(d.X[0] - x);
    for (std::size_t i = 1; i < static_cast<std::size_t>(d.count); ++i) {
        const double distance = std::fabs(d.X[i] - x);
        if (distance < best_distance) {
            best = i;
            best_distance = distance;
        }
    }
    return best;
}

// With N: both marker heights become those of the nearest data points.
void markers_to_data(Session& s) {
    Markers& m = s.markers;
    s.out().line("Setting marker height to height of nearest data point.");
    for (std::size_t k = 0; k < 2; ++k) m.y[k] = s.data.Y[nearest_point(s.data, m.x[k])];
    s.out().line("Marker heights set to: ym1 = " + g12(m.y[0]) + " ym2 = " + g12(m.y[1]));
}

// A marker coordinate as a picture coordinate: far values stay on the far
// side of the page instead of overflowing single precision.
float picture_coordinate(double v) { return static_cast<float>(std::isnan(v) ? 0.0 : std::clamp(v, -1e30, 1e30)); }

// The two marker lines, the background line between the markers and its
// label on the last picture. The label follows the line as it appears on
// the page, so the slope is taken in plot units.
void draw_background_line(Session& s) {
    const char device = s.draw.last_device;
    const float x1 = picture_coordinate(s.markers.x[0]), y1 = picture_coordinate(s.markers.y[0]);
    const float x2 = picture_coordinate(s.markers.x[1]), y2 = picture_coordinate(s.markers.y[1]);
    draw_guide_x(s, x1);
    plot_pen(s, device, x1, y1, 3);
    plot_pen(s, device, x2, y2, 2);
    draw_guide_x(s, x2);

    float ux = 0.0f, uy = 0.0f;
    plot_unit_size(s, ux, uy);
    float angle = 90.0f;
    if (std::fabs(s.markers.x[1] - s.markers.x[0]) > 1e-10 && ux > 0.0f && uy > 0.0f) {
        const double slope = ((y2 - y1) / uy) / ((x2 - x1) / ux);
        angle = static_cast<float>(std::atan(slope) * 180.0 / 3.14159265358979);
    }
    // "^n" starts the label one line down, below the line it names.
    const std::string label = "^nBackground";
    constexpr float kSize = 0.4f;
    const float half = text_width(s, kSize, label) / 2.0f;
    const float th = angle * 3.14159265f / 180.0f;
    const float x = (x1 + x2) / 2.0f - half * std::cos(th);
    const float y = (y1 + y2) / 2.0f - half * std::sin(th) * (ux > 0.0f ? uy / ux : 1.0f);
    draw_text(s, device, x, y, kSize, angle, label);
    end_plot(s, device);
}

// The current function summed over n steps from a (excluded) to b.
double function_area(Session& s, double a, double b, int n) {
    ModelInputs m{s.fit, s.data, s.models};
    const double h = (b - a) / n;
    double area = 0.0;
    for (int k = 1; k <= n; ++k) area += evaluate(m, s.fit.value, static_cast<float>(a + k * h)) * h;
    return area;
}

} // namespace

void cmd_integ(Session& s, CommandContext& ctx) {
    OutputSink& out = s.out();
    DataSet& d = s.data;
    if (d.count <= 0) {
        out.line("? No data!");
        return;
    }
    const bool between_markers = ctx.qualifier == 'M' || ctx.qualifier == 'N';
    double a = d.X[0], b = d.X[static_cast<std::size_t>(d.count - 1)];
    double background = 0.0;
    if (between_markers) {
        if (ctx.qualifier == 'N') markers_to_data(s);
        const Markers& m = s.markers;
        out.line("Integrating between markers 1 and 2");
        out.line("Marker 1 : x " + g12(m.x[0]) + "  y " + g12(m.y[0]));
        out.line("Marker 2 : x " + g12(m.x[1]) + "  y " + g12(m.y[1]));
        out.blank_line();
        a = std::min(m.x[0], m.x[1]);
        b = std::max(m.x[0], m.x[1]);
        if (s.draw.picture_drawn) draw_background_line(s);
        background = (m.y[0] + m.y[1]) * std::fabs(m.x[1] - m.x[0]) / 2.0;
    }

    const DataIntegral data_area = integrate_data(d, a, b);
    const int steps = ctx.number > 0.0 ? std::clamp(round_nearest(std::fabs(ctx.number)), 1, kMaxSteps) : kDefaultSteps;
    const double model_area = function_area(s, a, b, steps);
    const std::string y_label(d.y_label.trimmed());
    const std::string units = std::string(d.x_label.trimmed()) + "*" + y_label;

    out.blank_line();
    out.line("Itegration limits:                  " + g13(a) + " TO  " + g13(b));
    out.line("Area under data using a linear interpolation");
    out.line("between data points:                " + g13(data_area.area) + " +/- " + g13(data_area.error) +
             " area units");
    out.line("Area under current function");
    out.line("(using " + format_I(steps, 4) + " steps):               " + g13(model_area) + " area units");
    out.line("(area units = " + units + ")");
    out.blank_line();
    out.line("Sum of Y values: " + g13(data_area.sum) + " +/- " + g13(data_area.sum_error) + " " + y_label);
    out.blank_line();
    out.blank_line();
    if (background != 0.0) {
        out.line("Area under background line:         " + g13(background) + " area units");
        out.line("NET area under data using a linear interpolation");
        out.line("(Area under data MINUS background): " + g13(data_area.area - background) + " area units");
        out.blank_line();
    }
    if (!between_markers) {
        out.line("Use INTEG/M to integrate between markers 1 and 2.");
        out.blank_line();
    }
}

} // namespace tarva
