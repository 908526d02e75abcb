#include "graphics/symbols.h"

#include <algorithm>
#include <cmath>

namespace tarva {

namespace {

constexpr float kK = 1.7F;
constexpr int kCircleSides = 16;

void line(Strokes& out, float x1, float y1, float x2, float y2) {
    out.push_back({x1, y1, 3});
    out.push_back({x2, y2, 2});
}

void outline(Strokes& out, float x, float y, float u, float w, int shape) {
    auto path = [&](std::initializer_list<std::pair<float, float>> pts) {
        bool first = true;
        for (const auto& [px, py] : pts) {
            out.push_back({x + px * u, y + py * w, first ? 3 : 2});
            first = false;
        }
    };
    switch (shape) {
    case 1: path({{-1, -1}, {1, -1}, {1, 1}, {-1, 1}, {-1, -1}}); break;
    case 2: path({{-kK, -0.5774F * kK}, {kK, -0.5774F * kK}, {0, 1.155F * kK}, {-kK, -0.5774F * kK}}); break;
    case 3:
        for (int i = 0; i <= kCircleSides; ++i) {
            const double phi = 2.0 * 3.141592653589793 * i / kCircleSides;
            out.push_back({x + 2.5F * u * static_cast<float>(std::cos(phi)),
                           y + 2.5F * w * static_cast<float>(std::sin(phi)), i == 0 ? 3 : 2});
        }
        break;
    case 4: path({{-kK, 0.5774F * kK}, {0, -1.155F * kK}, {kK, 0.5774F * kK}, {-kK, 0.5774F * kK}}); break;
    case 5:
        path({{0, kK},
              {0.2245F * kK, 0.309F * kK},
              {0.9511F * kK, 0.309F * kK},
              {0.3633F * kK, -0.118F * kK},
              {0.5878F * kK, -0.809F * kK},
              {0, -0.3819F * kK},
              {-0.5878F * kK, -0.809F * kK},
              {-0.3633F * kK, -0.118F * kK},
              {-0.9511F * kK, 0.309F * kK},
              {-0.2245F * kK, 0.309F * kK},
              {0, kK}});
        break;
    case 6: path({{0.793F, 0}, {0, 1.414F}, {-0.793F, 0}, {0, -1.414F}, {0.793F, 0}}); break;
    case 7:
        path({{-1, -1}, {1, 1}});
        path({{-1, 1}, {1, -1}});
        break;
    default:
        out.push_back({x, y, 3});
        out.push_back({x, y, 2});
        break;
    }
}

// Distances from the centre to the symbol's edge where a bar stops.
struct Edges {
    float up, down, side; // in units of w, w and u
};

Edges edges(int shape) {
    switch (shape) {
    case 1: return {1.0F, 1.0F, 1.0F};
    case 2: return {1.155F * kK, 0.5774F * kK, 1.155F * kK};
    case 3: return {2.494F, 2.494F, 2.494F};
    case 4: return {0.5774F * kK, 1.155F, 0.5774F * kK};
    case 5: return {kK, 0.3819F * kK, 1.0F};
    case 6: return {1.414F, 1.414F, 1.414F};
    default: return {0.0F, 0.0F, 0.0F};
    }
}

} // namespace

bool error_bar_ends(float c, float e, bool decades, float lo, float hi, float& low_end, float& high_end) {
    double h = 0.0, l = 0.0;
    if (decades) {
        const double p = std::pow(10.0, static_cast<double>(c));
        h = std::log10(p + e);
        l = p - e > 1e-20 ? std::log10(p - e) : lo;
    } else {
        h = static_cast<double>(c) + e;
        l = static_cast<double>(c) - e;
    }
    if (std::isnan(h) || std::isnan(l)) return false;
    const double a = std::min(lo, hi), b = std::max(lo, hi);
    high_end = static_cast<float>(std::clamp(h, a, b));
    low_end = static_cast<float>(std::clamp(l, a, b));
    return true;
}

int symbol_shape(int symbol) {
    const int m = ((symbol % 8) + 8) % 8;
    return m == 0 ? 8 : m;
}

void layout_symbol(const SymbolFrame& frame, const ErrorBarStyle& style, float x, float y, float err, int symbol,
                   float size, Strokes& out) {
    const int shape = symbol_shape(symbol);
    const float f = shape == 5 ? 1.3F : (shape == 3 ? 0.5F : 1.0F);
    const float u = frame.unit_x * f * size / 5.0F;
    const float w = frame.unit_y * f * size / 5.0F;
    outline(out, x, y, u, w, shape);

    const float e = std::fabs(err);
    if (!(e > 1e-10F)) return;
    const Edges edge = edges(shape);
    float low = 0.0F, high = 0.0F;
    if (!style.x_errors) {
        if (!error_bar_ends(y, e, style.log_y, frame.ymin, frame.ymax, low, high)) return;
        if (style.through) {
            line(out, x, high, x, low);
        } else {
            if (high > y + edge.up * w) line(out, x, high, x, y + edge.up * w);
            if (y - edge.down * w > low) line(out, x, y - edge.down * w, x, low);
        }
        if (style.crossbars) {
            line(out, x - u, high, x + u, high);
            line(out, x - u, low, x + u, low);
        }
    } else {
        if (!error_bar_ends(x, e, style.log_x, frame.xmin, frame.xmax, low, high)) return;
        if (style.through) {
            line(out, high, y, low, y);
        } else {
            if (high > x + edge.side * u) line(out, high, y, x + edge.side * u, y);
            if (x - edge.side * u > low) line(out, x - edge.side * u, y, low, y);
        }
        if (style.crossbars) {
            line(out, high, y - w, high, y + w);
            line(out, low, y - w, low, y + w);
        }
    }
}

} // namespace tarva
