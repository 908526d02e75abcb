#include "commands/graphics/draw/labels.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

#include "graphics/axes.h"
#include "graphics/symbols.h"
#include "graphics/text.h"
#include "physics/element_table.h"
#include "plot/drawing.h"
#include "plot/plot.h"
#include "session/session.h"
#include "text/format.h"

namespace tarva {

namespace {

// Text sizes: title, captions and numbers at 0.75 of the character size
// factor, the data set and macro names at 0.75 of that.
float title_size(const Session& s) { return 0.75f * s.graphics.char_size; }

// Height in world Y units of a capital at the given size (6 glyph units,
// a glyph unit being a fifth of a plot unit times the size).
float cap_height(float uy, float size) { return 1.2f * uy * size; }

// The widest Y number the axis routine writes, so that the Y caption can
// stand clear of it.
float widest_y_number(const Session& s, const PlotLimits& box, float size) {
    if (!s.draw.flags.marks || !s.axes.y_numbers) return 0.0f;
    const bool log_y = s.draw.flags.log_y;
    const double span = static_cast<double>(box.ymax) - box.ymin;
    const double step = axis_step(span, s.draw.numbers_y, log_y);
    if (!(step > 0.0)) return 0.0f;
    const std::string prefix = number_font_prefix(s.fonts.default_font);
    float widest = 0.0f;
    for (double v : axis_values(box.ymin, box.ymax, step)) {
        const std::string text = log_y ? decade_number_text(v) : y_number_text(v, span, s.axes.y_digits);
        widest = std::max(widest, text_width(s, size, prefix + std::string(trim(text))));
    }
    return widest;
}

// The symbol of the current overlay: the fixed one, or the overlay counter.
int overlay_symbol(const Session& s) { return s.draw.fixed_symbol != 0 ? s.draw.fixed_symbol : s.draw.overlay; }

// A symbol, filled with CL by drawing it again smaller and smaller.
void filled_symbol(Session& s, char device, float x, float y, float err, int symbol) {
    const float size = s.draw.symbol_size;
    draw_symbol(s, device, x, y, err, symbol, size);
    if (!s.draw.flags.solid_points) return;
    for (float f = size - 0.25f; f >= 0.1f; f -= 0.25f) draw_symbol(s, device, x, y, 0.0f, symbol, f);
}

// Centre height of the legend row: one plot unit above the box, further
// rows above it.
float legend_y(const Session& s, const PlotLimits& box, float uy) {
    return box.ymax + (1.0f + 1.3f * static_cast<float>(s.draw.legend_row)) * uy;
}

// The data set name as the legend writes it, and its size.
std::string legend_name(const Session& s) { return std::string(s.data.file_name.trimmed()) + "^k"; }
float legend_name_size(const Session& s) { return 0.75f * title_size(s); }

// A beam particle's symbol from its mass: the element nearest in weight
// when it lies within half a mass unit, else the mass itself.
std::string beam_ion(Session& s, float mass) {
    FixedText<2> symbol{"##"};
    int z = 0;
    float weight = mass;
    element_lookup(s.out(), symbol, z, weight);
    if (z > 0 && std::fabs(mass - weight) < 0.5f) return std::string(symbol.trimmed());
    return "m=" + std::string(trim(format_G(mass, 10, 5)));
}

// A number in a 10-character field, trimmed.
std::string field10(float v) { return std::string(trim(format_G(v, 10, 4))); }

} // namespace

float legend_step(const Session& s) {
    float ux = 0, uy = 0;
    plot_unit_size(s, ux, uy);
    return 1.5f * ux * std::max(s.draw.symbol_size, 0.5f);
}

void draw_title(Session& s, char device, const PlotLimits& box) {
    const float xspan = box.xmax - box.xmin, yspan = box.ymax - box.ymin;
    const float size = title_size(s);
    draw_text(s, device, box.xmin + 0.05f * xspan, box.ymax - 0.1f * yspan, size, 0.0f, s.data.caption.trimmed());
    if (s.draw.flags.macro_name && s.macro_running()) {
        const std::string name = std::string(s.interp.last_macro.trimmed()) + "^j^j";
        const float small = 0.75f * size;
        draw_text(s, device, box.xmax - text_width(s, small, name), box.ymax, small, 0.0f, name);
    }
}

void draw_captions(Session& s, char device, const PlotLimits& box) {
    float ux = 0, uy = 0;
    plot_unit_size(s, ux, uy);
    const float size = title_size(s);
    const std::string_view xcap = s.data.x_label.trimmed();
    const float xw = text_width(s, size, xcap);
    draw_text(s, device, 0.5f * (box.xmin + box.xmax) - 0.5f * xw, box.ymin - 4.0f * uy * size, size, 0.0f, xcap);

    // Turned up the left side, centred on the box. The caption's baseline
    // faces the numbers, so it stands left of the widest one with a gap.
    const std::string_view ycap = s.data.y_label.trimmed();
    const float along_y = ux > 0.0f ? text_width(s, size, ycap) * uy / ux : 0.0f;
    const float numbers = widest_y_number(s, box, size);
    const float clear_of_numbers = box.xmin - 0.5f * ux - numbers - 0.8f * ux * size / 0.75f;
    // Not beyond the left margin that every device leaves for it.
    const float c = s.graphics.char_size;
    const float page_edge = box.xmin - ((3.0f * c + 1.0f) * 1.5f - 1.2f * c) * ux;
    const float x = std::max(std::min(box.xmin - 0.05f * (box.xmax - box.xmin), clear_of_numbers), page_edge);
    draw_text(s, device, x, 0.5f * (box.ymin + box.ymax) - 0.5f * along_y, size, 90.0f, ycap);
}

void draw_data_points(Session& s, char device, const PlotLimits& box) {
    const int symbol = overlay_symbol(s);
    const bool all = s.draw.flags.jump_out;
    for (int i = 0; i < s.data.count; ++i) {
        const auto k = static_cast<std::size_t>(i);
        const float x = s.data.X[k], y = s.data.Y[k];
        if (!std::isfinite(x) || !std::isfinite(y)) continue;
        if (!all && !(x >= box.xmin && x <= box.xmax && y >= box.ymin && y <= box.ymax)) continue;
        const float err = std::isfinite(s.data.SIGMA[k]) ? s.data.SIGMA[k] : 0.0f;
        filled_symbol(s, device, x, y, err, symbol);
    }
    if (s.draw.flags.name) {
        float ux = 0, uy = 0;
        plot_unit_size(s, ux, uy);
        // An entry that would pass the left end of the box starts a new row.
        const float entry = legend_step(s) + 0.5f * ux + text_width(s, legend_name_size(s), legend_name(s));
        if (s.draw.legend_right < box.xmax && s.draw.legend_right - entry < box.xmin) {
            s.draw.legend_right = box.xmax;
            s.draw.legend_row += 1;
        }
        const float x = s.draw.legend_right - 0.5f * legend_step(s);
        filled_symbol(s, device, x, legend_y(s, box, uy), 0.0f, symbol);
    }
}

void draw_data_name(Session& s, char device, const PlotLimits& box) {
    // Right-aligned left of this overlay's legend symbol; the next overlay's
    // entry goes left of it, so the names of an overlay series stay apart.
    float ux = 0, uy = 0;
    plot_unit_size(s, ux, uy);
    const std::string name = legend_name(s);
    const float size = legend_name_size(s);
    const float right = s.draw.legend_right - legend_step(s) - 0.5f * ux;
    const float left = right - text_width(s, size, name);
    const float y = legend_y(s, box, uy) - 0.5f * cap_height(uy, size);
    draw_text(s, device, left, y, size, 0.0f, name);
    s.draw.legend_right = left - 1.5f * ux;
}

void draw_parameter_line(Session& s, char device, const PlotLimits& box) {
    float ux = 0, uy = 0;
    plot_unit_size(s, ux, uy);
    ExperimentalParameters& e = s.data.experiment;
    const std::array<std::string, 7> pieces{
        beam_ion(s, e.beam_mass()) + " " + field10(e.beam_energy()) + " MeV",
        field10(e.energy_per_channel()) + " keV/ch",
        field10(e.energy_offset()) + " keV",
        "^2n^c = " + field10(e.scattering_angle()),
        "^6W^c = " + field10(e.solid_angle()) + " mstr",
        "Q = " + field10(e.charge()),
        "Norm = " + field10(e.normalisation()),
    };
    // Half size, each piece two plot units after the one before; smaller
    // when the whole line would be wider than the box.
    constexpr float kSize = 0.5f;
    float total = 0.0f;
    for (const auto& piece : pieces) total += text_width(s, kSize, piece) + 2.0f * ux;
    total -= 2.0f * ux;
    const float width = box.xmax - box.xmin;
    const float size = total > width && total > 0.0f ? kSize * width / total : kSize;
    const float gap = total > width && total > 0.0f ? 2.0f * ux * width / total : 2.0f * ux;
    // Above the legend row and still on the page of every device.
    const float y = box.ymax + 2.5f * uy;
    float x = box.xmin;
    for (const auto& piece : pieces) {
        draw_text(s, device, x, y, size, 0.0f, piece);
        x += text_width(s, size, piece) + gap;
    }
}

} // namespace tarva
