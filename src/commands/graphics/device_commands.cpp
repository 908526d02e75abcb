// The device commands: DEST, DEFINE, THICK and TERMIN.
#include <algorithm>
#include <cmath>

#include "commands/commands.h"
#include "graphics/drivers/device_table.h"
#include "plot/device.h"
#include "plot/plot.h"
#include "session/dialogue.h"
#include "text/format.h"

namespace tarva {

namespace {

std::string strip(std::string_view text) {
    std::size_t b = 0;
    while (b < text.size() && (text[b] == ' ' || text[b] == '\t')) ++b;
    return std::string(trimmed(text.substr(b)));
}

// Asks for the scale factor until the answer reads; a blank answer is 1.0.
// nullopt when the input ended.
std::optional<double> ask_scale_factor(Session& s) {
    return ask_until(s, "Scale factor for next plot > ", [&](const std::string& line) -> std::optional<double> {
        std::string_view field = std::string_view(line).substr(0, std::min<std::size_t>(line.size(), 12));
        double value = 1.0;
        if (last_nonblank(field) != 0) {
            auto v = read_real_field(field);
            if (!v) return std::nullopt;
            value = *v;
        }
        if (s.macro_running()) echo_number(s, value, Echo::G13_5);
        return value;
    });
}

} // namespace

void cmd_dest(Session& s, CommandContext& ctx) {
    std::string name = strip(ctx.argument());
    if (name.empty()) {
        auto answer = ask_file_name(s, "Destination for TEKTRONIX plot (" + destination_name(s) + ") > ", 50);
        if (!answer) return;
        name = strip(*answer);
        if (name.empty()) {
            s.out().line("Destination for plot not changed.");
            return;
        }
    }
    // The name reported is the destination actually in force, so a name that
    // could not be opened is not announced as set.
    std::string now = open_destination(s, name);
    s.out().line("Destination for plot set to: " + now);
}

void cmd_define(Session& s, CommandContext& ctx) {
    const char c = ctx.qualifier;
    std::string name = strip(ctx.argument());
    if (!name.empty()) {
        define_device_name(s, c, name);
        return;
    }
    auto scale = ask_scale_factor(s);
    if (!scale) return;
    double offx = 0.0, offy = 0.0;
    if (!ask_number_pair(s, "X and Y plot offsets (mm) > ", offx, offy)) return;
    const float f = static_cast<float>(*scale);
    const float ox = static_cast<float>(offx), oy = static_cast<float>(offy);
    define_placement(s, c, f, ox, oy);
}

void cmd_thick(Session& s, CommandContext& ctx) {
    const int count = (ctx.qualifier >= '1' && ctx.qualifier <= '9') ? ctx.qualifier - '0' : 0;
    const float offset = static_cast<float>(ctx.number);
    set_line_thickness(s.graphics, count, offset);
    s.out().line("Line thickness set to " + format_I(s.graphics.thick_count, 1) + " lines offset " +
                 format_G(s.graphics.thick_offset, 12, 5, 1) + " units.");
    s.out().blank_line();
}

void cmd_terminal(Session& s, CommandContext& ctx) {
    // TERMIN/S and TERMIN/K choose the image terminals; the menu and the
    // numbers 1..10 keep to the Tektronix types, so old macros behave as before.
    double number = ctx.number;
    int last = kTektronixTypes;
    if (ctx.qualifier == 'S') number = kSixelType;
    if (ctx.qualifier == 'K') number = kKittyType;
    if (ctx.qualifier == 'R') number = s.graphics.previous_terminal_type;
    if (ctx.qualifier == 'S' || ctx.qualifier == 'K' || ctx.qualifier == 'R') last = kTerminalTypes;
    if (std::isfinite(number)) {
        const int n = round_nearest(number);
        if (n >= 1 && n <= last) {
            s.graphics.previous_terminal_type = s.graphics.terminal_type;
            s.graphics.terminal_type = n;
            return;
        }
    }
    choose_terminal_type(s);
}

} // namespace tarva
