// PERIOD: the periodic table as a picture, each cell with symbol, atomic
// number, atomic weight and one chosen quantity for the current beam.
#include <algorithm>
#include <string>

#include "commands/commands.h"
#include "commands/physics/current_beam.h"
#include "commands/physics/xray_plot.h"
#include "graphics/text.h"
#include "physics/element_table.h"
#include "physics/kinematics.h"
#include "physics/period_layout.h"
#include "plot/drawing.h"
#include "plot/plot.h"
#include "session/session.h"
#include "text/format.h"

namespace tarva {

namespace {

// The picture's window: 18 cells across, the title above and the captions
// below the rows.
constexpr float kWidth = 18.0f;
constexpr float kHeight = 12.0f;
constexpr float kTopRow = 11.0f; // top edge of row 1

void unknown_option(Session& s) { s.out().line("Unknown or ambiguous option.\x07"); }

// The option word's key: its first letter, two for the K words.
std::string option_key(std::string_view word) {
    const std::string w = upper(word);
    if (w.empty()) return "";
    return w[0] == 'K' ? w.substr(0, 2) : w.substr(0, 1);
}

void disable(Session& s, std::string_view word) {
    PeriodSettings& p = s.physics.period;
    const std::string key = option_key(word);
    if (key == "M") {
        p.mass_numbers = false;
        s.out().line("Mass numbers disabled.");
    } else if (key == "E") {
        p.extra = PeriodExtra::None;
        s.out().line("Extra information disabled.");
    } else if (key == "KE") {
        p.key_cell = false; // silently, unlike every other option
    } else {
        unknown_option(s);
    }
}

void enable(Session& s, std::string_view word) {
    PeriodSettings& p = s.physics.period;
    const std::string key = option_key(word);
    if (key == "M") {
        p.mass_numbers = true;
        s.out().line("Mass numbers enabled.");
    } else if (key == "C") {
        p.extra = PeriodExtra::CrossSection;
        s.out().line("Cross sections enabled.");
    } else if (key == "S") {
        p.extra = PeriodExtra::SurfaceEnergy;
        s.out().line("Surface energies enabled.");
    } else if (key == "KI") {
        p.extra = PeriodExtra::KinematicFactor;
        s.out().line("Kinematic factors enabled.");
    } else if (key == "KE") {
        p.key_cell = true;
        s.out().line("Key element enabled.");
    } else if (key == "X") {
        p.extra = PeriodExtra::XRay;
        s.out().line("X-ray energies enabled.");
        const char family =
            word.size() > 1 ? static_cast<char>(std::toupper(static_cast<unsigned char>(word[1]))) : ' ';
        p.xray_family = family == 'L' || family == 'M' ? family : 'K';
        s.out().line(std::string(1, p.xray_family) + " lines given priority");
    } else {
        unknown_option(s);
    }
}

// The largest size up to `size` at which the text fits into `width`.
float fitting_size(const Session& s, float size, float width, std::string_view text) {
    const float w = text_width(s, size, text);
    return w > width ? size * width / w : size;
}

void centred_text(Session& s, char device, float xc, float y, float size, std::string_view text) {
    draw_text(s, device, xc - 0.5f * text_width(s, size, text), y, size, 0.0f, text);
}

void draw_frame(Session& s, char device, float x0, float y0, float w, float h) {
    plot_pen(s, device, x0, y0, 3);
    plot_pen(s, device, x0 + w, y0, 2);
    plot_pen(s, device, x0 + w, y0 + h, 2);
    plot_pen(s, device, x0, y0 + h, 2);
    plot_pen(s, device, x0, y0, 2);
}

// Text sizes of a cell, chosen once so that every cell looks alike.
struct CellSizes {
    float number, symbol, weight, extra;
};

CellSizes cell_sizes(const Session& s) {
    float ux = 0, uy = 0;
    plot_unit_size(s, ux, uy);
    // Capitals are 1.2 plot units high at size 1.
    const float per_height = 1.0f / (1.2f * uy);
    return {std::min(0.16f * per_height, fitting_size(s, 1.0f, 0.5f, "103")),
            std::min(0.3f * per_height, fitting_size(s, 1.0f, 0.8f, "Md")),
            std::min(0.13f * per_height, fitting_size(s, 1.0f, 0.8f, "000.000")),
            std::min(0.13f * per_height, fitting_size(s, 1.0f, 0.8f, "0.000E+00"))};
}

// One cell with its lower-left corner at (x0, y0); texts may be blank.
void draw_cell(Session& s, char device, const CellSizes& sz, float x0, float y0, std::string_view number,
               std::string_view symbol, std::string_view weight, std::string_view extra) {
    draw_frame(s, device, x0, y0, 1.0f, 1.0f);
    draw_text(s, device, x0 + 0.06f, y0 + 0.76f, sz.number, 0.0f, number);
    centred_text(s, device, x0 + 0.5f, y0 + 0.4f, sz.symbol, symbol);
    centred_text(s, device, x0 + 0.5f, y0 + 0.22f, sz.weight, weight);
    centred_text(s, device, x0 + 0.5f, y0 + 0.05f, sz.extra, extra);
}

// The key: a cell in the gap above the transition metals with its parts
// named beside it.
void draw_key(Session& s, char device, const CellSizes& sz) {
    const float x0 = 6.0f, y0 = kTopRow - 3.0f;
    draw_cell(s, device, sz, x0, y0, "Z", "Key", s.physics.period.mass_numbers ? "weight" : "", "");
    const float label = 1.5f * sz.weight;
    const std::string number_label = "Atomic Number ^i^g==>^r";
    draw_text(s, device, x0 - 0.1f - text_width(s, label, number_label), y0 + 0.76f, label, 0.0f, number_label);
    draw_text(s, device, x0 + 1.1f, y0 + 0.4f, label, 0.0f, "^i^g<==^r Symbol");
    if (s.physics.period.mass_numbers)
        draw_text(s, device, x0 + 1.1f, y0 + 0.22f, label, 0.0f, "^i^g<==^r Atomic Weight");
}

void draw_table(Session& s, char device) {
    const PeriodSettings& p = s.physics.period;
    const bool kinematic = p.extra == PeriodExtra::CrossSection || p.extra == PeriodExtra::SurfaceEnergy ||
                           p.extra == PeriodExtra::KinematicFactor;
    const bool xray = p.extra == PeriodExtra::XRay;
    Beam beam{};
    if (kinematic || xray) beam = current_beam(s);
    if (xray) load_xray_lines(s.out(), xray_database(s));

    const float aspect = s.graphics.aspect; // the picture's shape is its own; DRAW's stays
    float status = 0.0f;
    begin_plot(s, kSqrt2, device, 0.0f, kWidth, 0.0f, kHeight, status);
    if (status != 0.0f) {
        s.graphics.aspect = aspect;
        s.out().line("Unable to plot periodic table.");
        return;
    }
    const std::string title = "PERIODIC TABLE OF THE ELEMENTS";
    centred_text(s, device, 0.5f * kWidth, kTopRow + 0.35f, fitting_size(s, 1.2f, 0.6f * kWidth, title), title);

    const CellSizes sz = cell_sizes(s);
    for (int z = 1; z <= kElementCount; ++z) {
        const CellPlace place = cell_place(z);
        const float x0 = static_cast<float>(place.column - 1);
        const float y0 = kTopRow - place.row;
        const std::string weight = p.mass_numbers ? format_F(atomic_weight(z), 7, 3) : "";
        std::string extra = kinematic ? extra_quantity_text(p.extra, beam, z) : "";
        if (xray && kinematic_factor(beam.mass, atomic_weight(z), beam.angle) > 1e-10)
            extra = principal_line_text(s.physics.lines, z, p.xray_family);
        draw_cell(s, device, sz, x0, y0, format_I(z, 3), element_symbol(z), weight, extra);
    }
    if (p.key_cell) draw_key(s, device, sz);

    if (p.extra != PeriodExtra::None) {
        std::string caption = extra_caption(p.extra);
        if (kinematic) caption += " " + beam_statement(beam);
        centred_text(s, device, 0.5f * kWidth, 0.5f, fitting_size(s, 0.8f, 0.9f * kWidth, caption), caption);
    }
    end_plot(s, device);
    s.graphics.aspect = aspect;
}

} // namespace

void cmd_period(Session& s, CommandContext& ctx) {
    const std::string_view word = ctx.argument_trimmed();
    if (ctx.qualifier == 'D') {
        disable(s, word);
        return;
    }
    if (ctx.qualifier == 'E') {
        enable(s, word);
        return;
    }
    // Any other qualifier names the device, as for DRAW.
    draw_table(s, ctx.qualifier == ' ' ? s.draw.default_device : ctx.qualifier);
}

} // namespace tarva
