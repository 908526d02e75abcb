#include "commands/physics/mass_scale.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "graphics/axes.h"
#include "graphics/text.h"
#include "physics/element_table.h"
#include "physics/kinematics.h"
#include "plot/drawing.h"
#include "plot/plot.h"
#include "session/session.h"
#include "text/format.h"

namespace tarva {

bool mass_position(const Beam& beam, double mass, bool log_x, float& x) {
    const double energy = kinematic_factor(beam.mass, mass, beam.angle) * beam.energy_kev;
    if (!(energy > 0.0)) return false;
    x = static_cast<float>(log_x ? std::log10(energy) : energy);
    return true;
}

std::vector<MassTick> mass_ticks(const Beam& beam, int start, int end, float xlo, float xhi, float gap, bool log_x) {
    std::vector<MassTick> ticks;
    bool crowded = false;
    bool any_label = false;
    float last_label = 0.0f;
    for (int m = start; m <= end; ++m) {
        float x = 0.0f;
        if (!mass_position(beam, m, log_x, x) || x < xlo || x > xhi) continue;
        MassTick t{m, x, m % 5 == 0 ? 1.5f : 1.0f, false};
        if (m % 5 == 0 && (!crowded || m % 10 == 0)) {
            const float distance = any_label ? std::fabs(x - last_label) : 2.0f * gap;
            if (distance >= gap) {
                t.labelled = true;
                t.length = 2.0f;
                if (distance >= 2.0f * gap) crowded = false;
                last_label = x;
                any_label = true;
            } else {
                crowded = true;
            }
        }
        ticks.push_back(t);
    }
    return ticks;
}

namespace {

struct Frame {
    float xlo, xhi, ylo, yhi; // the box, ascending
    float ux, uy;             // plot unit
};

void centred(Session& s, char device, float x, float y, float size, const std::string& text) {
    draw_text(s, device, x - 0.5f * text_width(s, size, text), y, size, 0.0f, text);
}

void draw_all_masses(Session& s, char device, const Frame& f, const Beam& beam) {
    const MassScaleSettings& m = s.physics.mass;
    const float size = m.number_size;
    const float gap = (1.0f + 0.07f * size) * text_width(s, size, "000");
    const int start = std::max(m.start, round_nearest(beam.mass) + 1);
    const auto ticks = mass_ticks(beam, start, m.end, f.xlo + f.ux, f.xhi - f.ux, gap, s.data.log_x != 0);
    plot_pen(s, device, f.xlo, f.yhi, 3);
    plot_pen(s, device, f.xhi, f.yhi, 2);
    const float cap = 1.2f * f.uy * size;
    for (const MassTick& t : ticks) {
        plot_pen(s, device, t.x, f.yhi, 3);
        plot_pen(s, device, t.x, f.yhi - t.length * f.uy, 2);
        if (t.labelled)
            centred(s, device, t.x, f.yhi - t.length * f.uy - 0.3f * f.uy - cap, size,
                    std::string(trimmed(format_I(t.mass, 3))));
    }
}

// The Y of the data nearest x, for pointers that stand on the data.
float data_height_at(const Session& s, float x) {
    float best = 0.0f, y = s.data.count > 0 ? s.data.Y[0] : 0.0f;
    for (int i = 0; i < s.data.count; ++i) {
        const float d = std::fabs(s.data.X[static_cast<std::size_t>(i)] - x);
        if (i == 0 || d < best) {
            best = d;
            y = s.data.Y[static_cast<std::size_t>(i)];
        }
    }
    return y;
}

// One pointer with its name above it.
void draw_pointer(Session& s, char device, const Frame& f, float x, const std::string& name) {
    const MassScaleSettings& m = s.physics.mass;
    float y = static_cast<float>(m.pointer_y);
    if (m.arrows_above_data)
        y = data_height_at(s, x) + f.uy;
    else if (y == 0.0f)
        y = f.yhi - 6.0f * f.uy;
    y = std::clamp(y, f.ylo, f.yhi - 3.0f * f.uy);
    const std::string pointer(m.pointer.trimmed());
    centred(s, device, x, y, 1.0f, pointer);
    centred(s, device, x, y + 2.0f * f.uy, 0.7f, name);
}

void draw_individual(Session& s, char device, const Frame& f, const Beam& beam) {
    const MassScaleSettings& m = s.physics.mass;
    const bool log_x = s.data.log_x != 0;
    auto mark = [&](double mass, const std::string& name) {
        float x = 0.0f;
        if (mass_position(beam, mass, log_x, x) && x >= f.xlo + f.ux && x <= f.xhi - f.ux)
            draw_pointer(s, device, f, x, name);
    };
    for (int i = 0; i < m.element_count; ++i) {
        const int z = m.elements[static_cast<std::size_t>(i)];
        const std::string symbol(trimmed(element_symbol(z)));
        mark(atomic_weight(z), symbol);
        for (const Isotope& iso : isotopes_of(z)) {
            if (iso.mass_number == 0) continue;
            mark(iso.mass_number + iso.excess / 1e6, "^u" + std::to_string(iso.mass_number) + "^r" + symbol);
        }
    }
}

} // namespace

void draw_mass_scale(Session& s, const Beam& beam) {
    const DrawSettings& d = s.draw;
    const char device = d.last_device;
    set_window(s, d.old_xmin, d.old_xmax, d.old_ymin, d.old_ymax);
    Frame f{std::min(d.old_xmin, d.old_xmax),
            std::max(d.old_xmin, d.old_xmax),
            std::min(d.old_ymin, d.old_ymax),
            std::max(d.old_ymin, d.old_ymax),
            0.0f,
            0.0f};
    plot_unit_size(s, f.ux, f.uy);
    f.ux = std::fabs(f.ux);
    f.uy = std::fabs(f.uy);
    if (s.physics.mass.individual)
        draw_individual(s, device, f, beam);
    else
        draw_all_masses(s, device, f, beam);
    end_plot(s, device);
}

} // namespace tarva
