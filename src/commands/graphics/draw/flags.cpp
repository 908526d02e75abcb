// DRAW/E key and DRAW/D key: the on/off flags of the picture.
#include <algorithm>
#include <array>

#include "commands/graphics/draw/apply_settings.h"
#include "commands/graphics/draw/draw_command.h"

namespace tarva {

namespace {

struct FlagEntry {
    const char* key;
    bool DrawFlags::*flag;
    char axis_key; // the axis routine's key for a flag it keeps, else 0
    const char* enabled;
    const char* disabled;
    bool GraphicsState::*device_flag = nullptr; // a flag the device layer keeps
};

// Two-letter keys come first so that they win over the single letter
// with the same first character.
// CP and CR (print style, residual panel) are this program's own, for
// device X and the image terminals; their first letter has no flag of its
// own, so no older key changes its meaning.
constexpr std::array<FlagEntry, 32> kFlags{{
    {"CF", nullptr, 0, "Graphics clear flag enabled.", "Graphics clear flag disabled.", &GraphicsState::clear_flag},
    {"CL", &DrawFlags::solid_points, 0, "Solid data points enabled.", "Solid data points disabled."},
    {"CP", nullptr, 0, "Print style enabled.", "Print style disabled.", &GraphicsState::print_style},
    {"CR", &DrawFlags::residuals, 0, "Residual panel enabled.", "Residual panel disabled."},
    {"ER", &DrawFlags::errors_through, 0, " Errors drawn through plot symbols",
     " Errors not drawn through plot symbols."},
    {"EX", &DrawFlags::extend, 0, " Function draw extend enabled", " Function draw extend disabled."},
    {"NM", &DrawFlags::macro_name, 0, "Macro name labeling on drawing enabled.",
     "Macro name labeling on drawing disabled."},
    {"TX", &DrawFlags::old_x_limits, 0, "Draw x-limits fixed to old x-limits.", "Old draw x-limits disabled."},
    {"TY", &DrawFlags::old_y_limits, 0, "Draw y-limits fixed to old y-limits.", "Old draw y-limits disabled."},
    {"A", &DrawFlags::axis, 0, "Axis drawing enabled.", "Axis drawing disabled."},
    {"B", &DrawFlags::box, 0, "Box drawing enabled.", "Box drawing disabled."},
    {"D", &DrawFlags::data_points, 0, "Data point drawing enabled.", "Data point drawing disabled."},
    {"F", nullptr, '5', "Five marks enabled.", " Five marks disabled."},
    {"G", &DrawFlags::curve_to_edge, 0, "Function draw to edge of box enabled.",
     "Function drawn to box edge disabled."},
    {"H", &DrawFlags::bar_ends, 0, " Top & bottom of error bars drawn", " Top & bottom of error bars not drawn."},
    {"I", &DrawFlags::instant_spline, 0, " Instant spline fit upon draw enabled.",
     " Instant spline fit upon draw disabled."},
    {"J", &DrawFlags::jump_out, 0, " Jump data out of box enabled.", " Jump data out of box disabled."},
    {"L", nullptr, 'L', " Lines across graph at major marks enabled.", " Lines across graph at major marks disabled."},
    {"M", &DrawFlags::marks, 0, "Mark drawing enabled.", "Mark drawing disabled."},
    {"N", &DrawFlags::name, 0, "Name labeling on drawing enabled.", "Name labeling on drawing disabled."},
    {"O", &DrawFlags::force_points, 0, "Forced function evaluation at data points.",
     "Function evaluation at data points not forced."},
    {"P", &DrawFlags::parameters, 0, "Parameter drawing enabled.", "Parameter drawing disabled."},
    {"Q", nullptr, 0, "", ""},
    {"R", nullptr, 'R', " Right hand Y marks enabled.", " Right hand Y marks disabled."},
    {"S", &DrawFlags::spectral, 0, "Spectral plot mode enabled.", "Spectral plot mode disabled."},
    {"T", &DrawFlags::old_limits, 0, "Draw limits fixed to old limits.", "Old draw limits disabled."},
    {"U", nullptr, 'U', " Upper X marks enabled.", " Upper X marks disabled."},
    {"V", nullptr, 'V', " X numbers enabled.", " X numbers disabled."},
    {"W", nullptr, 'W', " Y numbers enabled.", " Y numbers disabled."},
    {"X", nullptr, 'X', " X axis plotted as a log scale.", " X axis plotted as a linear scale."},
    {"Y", &DrawFlags::log_y, 0, "Y axis plotted as a log scale.", "Y axis plotted as a linear scale."},
    {"Z", &DrawFlags::x_errors, 0, "Error bars interpreted as X errors.", " Error bars interpreted as Y errors."},
}};

const FlagEntry* find_flag(std::string_view key) {
    for (const auto& e : kFlags) {
        const std::string_view k(e.key);
        if (k.size() == 2 && key.size() >= 2 && key.substr(0, 2) == k) return &e;
    }
    for (const auto& e : kFlags) {
        const std::string_view k(e.key);
        if (k.size() == 1 && !key.empty() && key[0] == k[0]) return &e;
    }
    return nullptr;
}

// The extension factor from the characters after EX: a digit 2..9 gives
// tenths, "10" gives 1.0, anything else 0.1.
float extension_factor(std::string_view key) {
    const std::string_view rest = key.size() > 2 ? key.substr(2) : std::string_view();
    if (rest.size() >= 2 && rest.substr(0, 2) == "10") return 1.0f;
    if (!rest.empty() && rest[0] >= '2' && rest[0] <= '9') return static_cast<float>(rest[0] - '0') / 10.0f;
    return 0.1f;
}

} // namespace

void draw_flag(Session& s, std::string_view word, bool enable) {
    const std::string key = upper(word);
    const FlagEntry* e = find_flag(key);
    if (!e) {
        s.out().line("Unknown option " + key.substr(0, std::min<std::size_t>(key.size(), 2)));
        return;
    }
    const std::string_view k(e->key);
    if (k == "Q") {
        draw_hpgl_orientation(s, enable);
        return;
    }
    DrawFlags& f = s.draw.flags;
    if (e->flag)
        f.*(e->flag) = enable;
    else if (e->axis_key != 0)
        draw_axis_flag(s, e->axis_key, enable);
    else if (e->device_flag)
        s.graphics.*(e->device_flag) = enable;
    if (k == "TX" || k == "TY") {
        // Either old-limits flag switches the T flag with it.
        f.old_limits = enable;
    } else if (k == "T") {
        f.old_x_limits = enable;
        f.old_y_limits = enable;
    } else if (k == "EX" && enable) {
        s.draw.extension = extension_factor(key);
    }
    s.out().line(enable ? e->enabled : e->disabled);
}

} // namespace tarva
