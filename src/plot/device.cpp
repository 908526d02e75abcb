#include "plot/device.h"

#include <algorithm>
#include <array>

#include "graphics/drivers/device_table.h"
#include "session/dialogue.h"
#include "session/session.h"
#include "text/format.h"

namespace tarva {

namespace {

DriverIo io_of(Session& s, char device) { return DriverIo{s.graphics, s.out(), device_code(device)}; }

PlotDriver& driver_of(Session& s, const DeviceRow& row) {
    return row.driver(s.graphics.drivers(), s.graphics.terminal_type);
}

PlotDriver& terminal_driver(Session& s) { return s.graphics.drivers().terminal(s.graphics.terminal_type); }

} // namespace

void set_line_thickness(GraphicsState& g, int count, float offset) {
    g.thick_count = std::clamp(count, 0, 10);
    g.thick_offset = offset;
}

void close_plot_files(Session& s, char device) {
    for (const DeviceRow* row : rows_named('*'))
        if (!row->terminal) driver_of(s, *row).close(io_of(s, row->code));
    if (device == 'S') {
        // End of the program: a terminal still in graphics returns to text.
        terminal_driver(s).close(io_of(s, 'S'));
        s.graphics.drivers().destination.close(s.out());
    }
}

void terminal_clear(Session& s) {
    if (!s.graphics.drivers().destination.is_open()) open_destination(s, "*");
    terminal_driver(s).clear_screen(io_of(s, 'S'));
}

std::string open_destination(Session& s, const std::string& name) {
    DeviceDrivers& d = s.graphics.drivers();
    d.tek.put(-1);
    d.destination.open(s.out(), name);
    return std::string(d.destination.name());
}

std::string destination_name(const Session& s) { return std::string(s.graphics.drivers().destination.name()); }

void define_device_name(Session& s, char device, std::string_view name) {
    for (const DeviceRow* row : rows_named(device)) driver_of(s, *row).set_file_name(name);
}

void define_placement(Session& s, char device, float scale, float offx_mm, float offy_mm) {
    for (const DeviceRow* row : rows_named(device))
        driver_of(s, *row).set_placement(io_of(s, row->code), scale, offx_mm, offy_mm);
}

void pen_changed(Session& s, int n, float width) {
    for (const DeviceRow* row : rows_named('*')) driver_of(s, *row).pen_changed(io_of(s, row->code), n, width);
}

void hpgl_set_orientation(Session& s, bool vertical) { s.graphics.drivers().hpgl.set_orientation(s.out(), vertical); }

void terminal_set_placement(Session& s, float scale, float offx_mm, float offy_mm) {
    set_terminal_placement(s.graphics, scale, offx_mm, offy_mm);
}

bool choose_terminal_type(Session& s) {
    s.out().line("Select the TEK4010/4 terminal emulation:");
    for (int n = 1; n <= kTektronixTypes; ++n) s.out().line(format_I(n, 2) + " " + std::string(terminal_type_name(n)));
    const auto answer = ask_until(s, "> ", [&](const std::string& line) -> std::optional<double> {
        std::array<double, 1> v{0.0};
        auto got = read_list(line, v);
        if (!got || *got < 1) return std::nullopt;
        if (s.macro_running()) echo_number(s, v[0], Echo::Free);
        return v[0];
    });
    if (!answer) return false;
    int chosen = round_nearest(*answer);
    if (chosen < 1 || chosen > kTektronixTypes) chosen = 1;
    s.out().line("Terminal type " + format_I(chosen, 2) + " selected.");
    s.graphics.previous_terminal_type = s.graphics.terminal_type;
    s.graphics.terminal_type = chosen;
    return true;
}

} // namespace tarva
