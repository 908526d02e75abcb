#include "commands/physics/xray_plot.h"

#include <algorithm>
#include <cmath>

#include "plot/drawing.h"
#include "plot/plot.h"
#include "session/session.h"

namespace tarva {

XrayDatabase& xray_database(Session& s) {
    XrayDatabase& db = s.physics.lines;
    if (db.file.empty()) db.file = s.interp.library_dir + "xraylines.dat";
    return db;
}

MarkerLayout layout_line_markers(const std::vector<LineMarker>& lines, int max_lines, double threshold, double height,
                                 bool upside_down, char symbol_end, bool log_x, float xlo, float xhi, float ylo,
                                 float yhi, float label_width, float cap) {
    MarkerLayout m;
    float strongest = 0.0f;
    for (const LineMarker& l : lines) strongest = std::max(strongest, l.intensity);
    if (strongest < 1e-10f) strongest = 1.0f;
    const float box = yhi - ylo;
    // Automatic height: the strongest line reaches half-way up the box.
    const float full = height > 0.0 ? static_cast<float>(std::min<double>(height, box)) : 0.5f * box;
    const float base = upside_down ? yhi : ylo;
    const float sign = upside_down ? -1.0f : 1.0f;
    float left = 0.0f, right = 0.0f, longest = 0.0f;
    const std::size_t n = max_lines > 0 ? std::min(lines.size(), static_cast<std::size_t>(max_lines)) : lines.size();
    for (std::size_t i = 0; i < n; ++i) {
        const float rel = lines[i].intensity / strongest;
        if (rel < threshold) continue;
        if (log_x && !(lines[i].energy > 0.0f)) continue;
        const float x = log_x ? std::log10(lines[i].energy) : lines[i].energy;
        if (!(x >= xlo && x <= xhi)) continue;
        const float length = std::clamp(rel, 0.0f, 1.0f) * full;
        m.strokes.push_back({x, base, base + sign * length});
        left = m.strokes.size() == 1 ? x : std::min(left, x);
        right = m.strokes.size() == 1 ? x : std::max(right, x);
        longest = std::max(longest, length);
    }
    if (m.strokes.empty()) return m;
    switch (symbol_end) {
    case 'L': m.label_x = left; break;
    case 'R': m.label_x = right - label_width; break;
    default: m.label_x = 0.5f * (left + right - label_width); break;
    }
    const float gap = 0.5f * cap;
    m.label_y = upside_down ? base - longest - gap - cap : base + longest + gap;
    return m;
}

void draw_line_markers(Session& s, const std::vector<LineMarker>& lines, std::string_view label) {
    DrawSettings& d = s.draw;
    const XraySettings& x = s.physics.xray;
    const char device = d.last_device;
    set_window(s, d.old_xmin, d.old_xmax, d.old_ymin, d.old_ymax);
    float ux = 0.0f, uy = 0.0f;
    plot_unit_size(s, ux, uy);
    const float size = 0.8f;
    const MarkerLayout m = layout_line_markers(
        lines, x.max_lines, x.threshold, x.height, x.upside_down, x.symbol_end, s.data.log_x != 0,
        std::min(d.old_xmin, d.old_xmax), std::max(d.old_xmin, d.old_xmax), std::min(d.old_ymin, d.old_ymax),
        std::max(d.old_ymin, d.old_ymax), text_width(s, size, label), 1.2f * size * std::fabs(uy));
    for (const MarkerStroke& k : m.strokes) {
        plot_pen(s, device, k.x, k.y0, 3);
        plot_pen(s, device, k.x, k.y1, 2);
    }
    if (!m.strokes.empty() && !label.empty()) {
        float lx = m.label_x, ly = m.label_y;
        if (print_styled(s, device)) {
            // Labels of neighbouring groups are moved up (down when the
            // markers hang) past the ones already there; the markers stay.
            const float cap = 1.2f * size * std::fabs(uy);
            const LabelBox wanted{lx, ly, text_width(s, size, label), cap};
            const LabelBox got = place_labels({&wanted, 1}, d.placed_labels, 0.3f * cap, !x.upside_down)[0];
            s.draw.placed_labels.push_back(got);
            ly = got.y;
        }
        draw_text(s, device, lx, ly, size, 0.0f, label);
    }
    end_plot(s, device);
}

} // namespace tarva
