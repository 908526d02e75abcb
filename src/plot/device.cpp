#include "plot/device.h"

#include <array>

#include "session/dialogue.h"
#include "session/session.h"
#include "text/format.h"

namespace tarva {

namespace {
DriverIo io_of(Session& s) { return DriverIo{s.graphics, s.out()}; }
} // namespace

void close_plot_files(Session& s, char device) {
    s.graphics.ps.close(io_of(s));
    s.graphics.hpgl.close(io_of(s));
    if (device == 'S') {
        // End of the program: a terminal still in graphics returns to text.
        s.graphics.tek.close(io_of(s));
        s.graphics.tek.close_destination();
    }
}

void terminal_clear(Session& s) {
    if (!s.graphics.tek.destination_open()) open_destination(s, "*");
    s.graphics.tek.clear_screen(io_of(s));
}

std::string open_destination(Session& s, const std::string& name) {
    s.graphics.tek.open_destination(s.out(), name);
    return std::string(s.graphics.tek.destination_name());
}

void ps_set_width(Session& s, float width) { s.graphics.ps.set_width(width); }

void hpgl_set_pen(Session& s, int n) { s.graphics.hpgl.set_pen(s.out(), n); }

void hpgl_set_orientation(Session& s, bool vertical) { s.graphics.hpgl.set_orientation(s.out(), vertical); }

void terminal_set_placement(Session& s, float scale, float offx_mm, float offy_mm) {
    s.graphics.tek.set_placement(scale, offx_mm * 4.72f, offy_mm * 4.72f);
}

bool choose_terminal_type(Session& s) {
    s.out().line("Select the TEK4010/4 terminal emulation:");
    for (int n = 1; n <= kTerminalTypes; ++n) s.out().line(format_I(n, 2) + " " + std::string(terminal_type_name(n)));
    const auto answer = ask_until(s, "> ", [&](const std::string& line) -> std::optional<double> {
        std::array<double, 1> v{0.0};
        auto got = read_list(line, v);
        if (!got || *got < 1) return std::nullopt;
        if (s.macro_running()) echo_number(s, v[0], Echo::Free);
        return v[0];
    });
    if (!answer) return false;
    int chosen = round_nearest(*answer);
    if (chosen < 1 || chosen > kTerminalTypes) chosen = 1;
    s.out().line("Terminal type " + format_I(chosen, 2) + " selected.");
    s.graphics.previous_terminal_type = s.graphics.terminal_type;
    s.graphics.terminal_type = chosen;
    return true;
}

} // namespace tarva
