#include "commands/graphics/draw/curve.h"

#include <algorithm>
#include <cmath>

#include "commands/graphics/draw/guide_line.h"
#include "models/catalogue.h"
#include "models/evaluate.h"
#include "plot/plot.h"
#include "session/session.h"

namespace tarva {

namespace {

// A point limited to the box; `inside` tells whether it was there already.
// A value that is not a number lands on the bottom edge, outside.
struct Clamped {
    float x, y;
    bool inside;
};

Clamped clamp_to_box(const PlotLimits& b, float x, float y) {
    Clamped c{x, y, true};
    if (!(x >= b.xmin)) c = {b.xmin, c.y, false};
    if (x > b.xmax) c = {b.xmax, c.y, false};
    if (!(y >= b.ymin)) {
        c.y = b.ymin;
        c.inside = false;
    }
    if (y > b.ymax) {
        c.y = b.ymax;
        c.inside = false;
    }
    return c;
}

// Draws a line that may be dash-space: the length travelled is summed in
// plot units, and each time it passes the current piece (dash or space) the
// pen changes between drawing and moving.
class LinePen {
public:
    LinePen(Session& s, char device) : s_(s), device_(device) {
        const DrawSettings& d = s.draw;
        dashed_ = d.dash > 0.001f;
        dash_ = d.dash;
        space_ = d.space > 0.0f ? d.space : d.dash;
        plot_unit_size(s, ux_, uy_);
        if (!(ux_ > 0.0f) || !(uy_ > 0.0f)) dashed_ = false;
    }

    void move(float x, float y) {
        plot_pen(s_, device_, x, y, 3);
        last_x_ = x;
        last_y_ = y;
    }

    void draw(float x, float y) {
        int pen = 2;
        if (dashed_) {
            pen = drawing_ ? 2 : 3;
            const float dx = (x - last_x_) / ux_, dy = (y - last_y_) / uy_;
            sum_ += std::sqrt(dx * dx + dy * dy);
            if (sum_ > (drawing_ ? dash_ : space_)) {
                sum_ = 0.0f;
                drawing_ = !drawing_;
            }
        }
        plot_pen(s_, device_, x, y, pen);
        last_x_ = x;
        last_y_ = y;
    }

    // A point of a curve limited to the box: outside it is reached pen up.
    void to(const Clamped& c) {
        if (c.inside)
            draw(c.x, c.y);
        else
            move(c.x, c.y);
    }

private:
    Session& s_;
    char device_;
    bool dashed_ = false;
    float dash_ = 0.0f, space_ = 0.0f;
    float ux_ = 1.0f, uy_ = 1.0f;
    float sum_ = 0.0f;
    bool drawing_ = true;
    float last_x_ = 0.0f, last_y_ = 0.0f;
};

float model_at(Session& s, float x) {
    ModelInputs m{s.fit, s.data, s.models};
    const double v = evaluate(m, s.fit.value, x);
    if (!std::isfinite(v)) return std::numeric_limits<float>::quiet_NaN();
    return static_cast<float>(std::clamp(v, -1.0e38, 1.0e38));
}

} // namespace

void draw_model_curve(Session& s, char device, const PlotLimits& box) {
    const DrawSettings& d = s.draw;
    float x1 = box.xmin, x2 = box.xmax;
    if (!d.flags.curve_to_edge) {
        const Range r = data_x_range(s);
        if (r.empty()) return;
        x1 = r.lo;
        x2 = r.hi;
        if (d.flags.extend) {
            const float f = d.extension <= 0.001f ? 0.1f : d.extension;
            const float grow = 0.5f * f * (x2 - x1);
            x1 -= grow;
            x2 += grow;
        }
        x1 = std::max(x1, box.xmin);
        x2 = std::min(x2, box.xmax);
    }
    if (!(std::fabs(x2 - x1) >= 1e-10f)) return;
    const int n = std::max(d.curve_steps, 1);
    const float step = (x2 - x1) / static_cast<float>(n);
    if (!(step > 0.0f) || !std::isfinite(step)) return;
    // trunc((x2 - x1 + step) / step) points, worked out in single precision
    // like the abscissae themselves: in double the quotient often falls just
    // short of n + 1 and the curve would stop one step before its end.
    // Never more points than the steps ask.
    const float points = std::trunc((x2 - x1 + step) / step);
    const long last = static_cast<long>(std::clamp(points, 1.0f, static_cast<float>(n) + 1.0f)) - 1;

    LinePen pen(s, device);
    const Clamped start = clamp_to_box(box, x1, model_at(s, x1));
    pen.move(start.x, start.y);
    for (long k = 0; k <= last; ++k) {
        const float x = x1 + static_cast<float>(k) * step;
        pen.to(clamp_to_box(box, x, model_at(s, x)));
        if (d.flags.force_points) {
            // The first data point strictly inside this step is drawn too,
            // so narrow peaks at the data are not stepped over.
            const float next = x + step;
            for (int i = 0; i < s.data.count; ++i) {
                const float xi = s.data.X[static_cast<std::size_t>(i)];
                if (xi > x && xi < next) {
                    pen.to(clamp_to_box(box, xi, model_at(s, xi)));
                    break;
                }
            }
        }
    }
}

void draw_connection_lines(Session& s, char device, const PlotLimits& box) {
    LinePen pen(s, device);
    const bool keep_outside = s.draw.flags.jump_out;
    for (int i = 0; i < s.data.count; ++i) {
        const auto k = static_cast<std::size_t>(i);
        const float x = s.data.X[k], y = s.data.Y[k];
        const bool piece_start = i == 0 || std::fabs(s.data.SIGMA[k] - 3.0f) <= 1e-5f;
        Clamped c{x, y, std::isfinite(x) && std::isfinite(y)};
        if (!keep_outside || !c.inside) c = clamp_to_box(box, x, y);
        if (piece_start || !c.inside)
            pen.move(c.x, c.y);
        else
            pen.draw(c.x, c.y);
    }
}

void draw_histogram(Session& s, char device, const PlotLimits& box, bool bars) {
    const int n = s.data.count;
    if (n <= 0) return;
    const auto& X = s.data.X;
    const auto& Y = s.data.Y;
    auto edge_before = [&](int i) {
        const auto k = static_cast<std::size_t>(i);
        if (i > 0) return 0.5f * (X[k - 1] + X[k]);
        return n > 1 ? X[0] - 0.5f * (X[1] - X[0]) : X[0];
    };
    auto edge_after = [&](int i) {
        const auto k = static_cast<std::size_t>(i);
        if (i < n - 1) return 0.5f * (X[k] + X[k + 1]);
        return n > 1 ? X[k] + 0.5f * (X[k] - X[k - 1]) : X[k];
    };
    auto limit_x = [&](float x) { return std::isfinite(x) ? std::clamp(x, box.xmin, box.xmax) : box.xmin; };
    auto limit_y = [&](float y) { return std::isfinite(y) ? std::clamp(y, box.ymin, box.ymax) : box.ymin; };
    LinePen pen(s, device);
    for (int i = 0; i < n; ++i) {
        const float left = limit_x(edge_before(i)), right = limit_x(edge_after(i));
        const float y = limit_y(Y[static_cast<std::size_t>(i)]);
        if (bars) {
            pen.move(left, box.ymin);
            pen.draw(left, y);
            pen.draw(right, y);
            pen.draw(right, box.ymin);
        } else {
            if (i == 0)
                pen.move(left, y);
            else
                pen.draw(left, y);
            pen.draw(right, y);
        }
    }
}

void draw_function_line(Session& s, char device, const PlotLimits& box) {
    switch (model_kind(s.fit.function)) {
    case ModelKind::Blank: return;
    case ModelKind::Connect: draw_connection_lines(s, device, box); return;
    case ModelKind::Histogram: draw_histogram(s, device, box, false); return;
    case ModelKind::BarGraph: draw_histogram(s, device, box, true); return;
    case ModelKind::Curve:
    case ModelKind::Spline: draw_model_curve(s, device, box); return;
    }
}

void draw_zero_axes(Session& s, char device, const PlotLimits& box) {
    if (box.xmin <= 0.0f && 0.0f < box.xmax) draw_dashed_vertical(s, device, box, 0.0f);
    if (box.ymin <= 0.0f && 0.0f < box.ymax) draw_dashed_horizontal(s, device, box, 0.0f);
}

} // namespace tarva
