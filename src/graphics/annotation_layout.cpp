#include "graphics/annotation_layout.h"

#include <algorithm>
#include <cmath>

namespace tarva {

namespace {

constexpr double kTwoPi = 6.283185307179586;

void dot(Strokes& out, float x, float y) {
    out.push_back({x, y, 3});
    out.push_back({x, y, 2});
}

void line(Strokes& out, float x1, float y1, float x2, float y2) {
    out.push_back({x1, y1, 3});
    out.push_back({x2, y2, 2});
}

// Whole number of steps of size `step` that fit into `length` plus one,
// limited to `most`; 0 when the quotient is not a number.
int step_count(double length, double step, int most) {
    const double n = std::trunc((step + length) / step);
    if (!(n >= 0.0)) return 0;
    return n > most ? most : static_cast<int>(n);
}

Region ordered(const Region& r) {
    return {std::min(r.xl, r.xh), std::min(r.yl, r.yh), std::max(r.xl, r.xh), std::max(r.yl, r.yh)};
}

} // namespace

float to_coordinate(double v) { return static_cast<float>(std::isnan(v) ? 0.0 : std::clamp(v, -1e30, 1e30)); }

Strokes rectangle_outline(const Region& r) {
    return {{r.xl, r.yl, 3}, {r.xh, r.yl, 2}, {r.xh, r.yh, 2}, {r.xl, r.yh, 2}, {r.xl, r.yl, 2}};
}

double next_stipple_random(double r) {
    const double v = 9821.0 * r + 0.211327;
    return std::fabs(v - std::trunc(v));
}

Strokes random_stipple(const Region& r, int n, double& state) {
    Strokes out;
    n = std::min(n, kMaxStipples);
    if (n > 0) out.reserve(static_cast<std::size_t>(2 * n));
    for (int i = 0; i < n; ++i) {
        state = next_stipple_random(state);
        const float x = r.xl + (r.xh - r.xl) * static_cast<float>(state);
        state = next_stipple_random(state);
        const float y = r.yl + (r.yh - r.yl) * static_cast<float>(state);
        dot(out, x, y);
    }
    return out;
}

std::size_t nearest_index(std::span<const float> values, float v) {
    std::size_t best = 0;
    for (std::size_t i = 1; i < values.size(); ++i)
        if (std::fabs(values[i] - v) < std::fabs(values[best] - v)) best = i;
    return best;
}

Strokes regular_stipple(std::span<const float> x, std::span<const float> y, float xl, float xh, float e, bool outline) {
    Strokes out;
    const std::size_t n = std::min(x.size(), y.size());
    if (n == 0 || !(e > 0.0f) || !std::isfinite(e)) return out;
    std::size_t first = nearest_index(x.first(n), xl);
    std::size_t last = nearest_index(x.first(n), xh);
    if (first > last) std::swap(first, last);
    if (outline) {
        line(out, x[first], 0.0f, x[first], y[first]);
        line(out, x[last], 0.0f, x[last], y[last]);
    }
    for (std::size_t i = first; i <= last; ++i) {
        for (int k = 0; k < kMaxColumnDots; ++k) {
            const float level = static_cast<float>(k) * e;
            if (!(level <= y[i])) break;
            dot(out, x[i], level);
        }
    }
    return out;
}

Strokes hatch_lines(const Region& region, float a, float degrees, float ratio) {
    Strokes out;
    const Region r = ordered(region);
    a = std::fabs(a);
    if (!(a > 0.0f) || !std::isfinite(a)) return out;
    const double theta = static_cast<double>(degrees) * kTwoPi / 360.0;
    if (std::fabs(std::cos(theta)) < 1e-6) {
        const int n = step_count(r.xh - r.xl, a, kMaxHatchLines);
        for (int k = 0; k < n; ++k) {
            const float x = r.xl + static_cast<float>(k) * a;
            line(out, x, r.yl, x, r.yh);
        }
        return out;
    }
    if (std::fabs(std::sin(theta)) < 1e-6) {
        const float spacing = a * ratio;
        if (!(spacing > 0.0f) || !std::isfinite(spacing)) return out;
        const int n = step_count(r.yh - r.yl, spacing, kMaxHatchLines);
        for (int k = 0; k < n; ++k) {
            const float y = r.yl + static_cast<float>(k) * spacing;
            line(out, r.xl, y, r.xh, y);
        }
        return out;
    }
    // A line is known by the X where it crosses yl: x(y) = s + (y - yl) / m.
    const double m = std::tan(theta) * ratio;
    if (!std::isfinite(m) || m == 0.0) return out;
    const double height = static_cast<double>(r.yh) - r.yl;
    const double start = m > 0 ? r.xl - height / m : r.xl;
    const double finish = m > 0 ? r.xh : r.xh - height / m;
    const int n = step_count(finish - start, a, kMaxHatchLines);
    for (int k = 0; k < n; ++k) {
        const double s = start + k * static_cast<double>(a);
        // The Y range where the line is inside the X limits, within yl..yh.
        const double ya = r.yl + m * (r.xl - s), yb = r.yl + m * (r.xh - s);
        const double lo = std::max<double>(std::min(ya, yb), r.yl);
        const double hi = std::min<double>(std::max(ya, yb), r.yh);
        // A line that misses the rectangle or only touches a corner is left out.
        const PenStep a1{static_cast<float>(s + (lo - r.yl) / m), static_cast<float>(lo), 3};
        const PenStep a2{static_cast<float>(s + (hi - r.yl) / m), static_cast<float>(hi), 2};
        if (!(lo < hi) || (a1.x == a2.x && a1.y == a2.y)) continue;
        out.push_back(a1);
        out.push_back(a2);
    }
    return out;
}

double direction_angle(double cx, double cy, double x, double y) {
    double a = std::atan2(y - cy, x - cx);
    if (a < 0.0) a += kTwoPi;
    return a;
}

Strokes arc_points(double cx, double cy, double radius, double alpha, double beta, float ux, float uy) {
    Strokes out;
    double per_circle = ux > 0.0f ? std::trunc(60.0 * radius / ux) : 0.0;
    // A circle of fewer than eight points is no arc; too many only make the
    // plot file long.
    if (!(per_circle >= 8.0)) per_circle = 8.0;
    per_circle = std::min<double>(per_circle, kMaxArcPoints);
    const double step = (beta < alpha ? -kTwoPi : kTwoPi) / per_circle;
    const int n = step_count(beta - alpha, step, kMaxArcPoints);
    const double ratio = ux > 0.0f ? static_cast<double>(uy) / ux : 1.0;
    for (int k = 0; k < n; ++k) {
        const double phi = alpha + k * step;
        out.push_back({to_coordinate(cx + radius * std::cos(phi)), to_coordinate(cy + radius * std::sin(phi) * ratio),
                       k == 0 ? 3 : 2});
    }
    return out;
}

namespace {

bool overlaps(const LabelBox& a, const LabelBox& b, float gap) {
    return a.x < b.x + b.width + gap && b.x < a.x + a.width + gap && a.y < b.y + b.height + gap &&
           b.y < a.y + a.height + gap;
}

bool usable(const LabelBox& b) {
    return std::isfinite(b.x) && std::isfinite(b.y) && b.width > 0.0f && b.height > 0.0f && std::isfinite(b.width) &&
           std::isfinite(b.height);
}

} // namespace

std::vector<LabelBox> place_labels(std::span<const LabelBox> wanted, std::span<const LabelBox> taken, float gap,
                                   bool upwards) {
    std::vector<LabelBox> placed;
    for (const LabelBox& b : taken)
        if (usable(b)) placed.push_back(b);
    std::vector<LabelBox> out;
    out.reserve(wanted.size());
    const float g = std::isfinite(gap) ? std::fabs(gap) : 0.0f;
    for (LabelBox box : wanted) {
        if (usable(box)) {
            // Jumps just past the box in the way, a little more than needed
            // so that rounding cannot leave them touching. The label only
            // moves one way, so a box it passed cannot stop it again: at
            // most one jump per box.
            const float spare = 1e-4f * (box.height + g);
            for (std::size_t jump = 0; jump <= placed.size(); ++jump) {
                const auto in_way = std::find_if(placed.begin(), placed.end(),
                                                 [&](const LabelBox& other) { return overlaps(box, other, g); });
                if (in_way == placed.end()) break;
                box.y = upwards ? in_way->y + in_way->height + g + spare : in_way->y - g - box.height - spare;
            }
            placed.push_back(box);
        }
        out.push_back(box);
    }
    return out;
}

} // namespace tarva
