#include "graphics/drivers/device_table.h"

#include <array>

namespace tarva {

namespace {

PlotDriver& terminal_of(DeviceDrivers& d, int type) { return d.terminal(type); }
PlotDriver& postscript_of(DeviceDrivers& d, int) { return d.ps; }
PlotDriver& hpgl_of(DeviceDrivers& d, int) { return d.hpgl; }
PlotDriver& pictures_of(DeviceDrivers& d, int) { return d.pictures; }
PlotDriver& none_of(DeviceDrivers& d, int) { return d.none; }
PlotDriver& elsewhere_of(DeviceDrivers& d, int) { return d.elsewhere; }

// The files are closed in this order (CLOSE, EXIT), and DRAW/C reaches the
// devices in it.
constexpr std::array<DeviceRow, 7> kDevices{{
    {'Q', false, postscript_of}, // PostScript file
    {'P', false, hpgl_of},       // HP-GL pen plotter
    {'H', false, hpgl_of},       // HP-GL/2 page printer
    {'X', false, pictures_of},   // PDF, SVG or PNG file through cairo
    {'S', true, terminal_of},    // the terminal, in its terminal type
    {'U', false, none_of},       // no output
    {'O', false, elsewhere_of},  // not available here
}};

const DeviceRow* find_row(char code) {
    for (const DeviceRow& row : kDevices)
        if (row.code == code) return &row;
    return nullptr;
}

} // namespace

GraphicsState::GraphicsState() : drivers_(std::make_unique<DeviceDrivers>()) {}
GraphicsState::~GraphicsState() = default;

void flush_pictures(GraphicsState& g, OutputSink& out) {
    DeviceDrivers& d = g.drivers();
    d.pictures.flush(DriverIo{g, out, 'X'});
    d.sixel.flush(DriverIo{g, out, 'S'});
    d.kitty.flush(DriverIo{g, out, 'S'});
}

PlotDriver& DeviceDrivers::terminal(int type) {
    if (type == kSixelType) return sixel;
    if (type == kKittyType) return kitty;
    return tek;
}

std::string_view terminal_type_name(int n) {
    if (n == kSixelType) return "sixel graphics (xterm -ti vt340, foot, mlterm, WezTerm)";
    if (n == kKittyType) return "kitty graphics protocol (kitty, WezTerm, Ghostty)";
    return tektronix_type_name(n);
}

char device_code(char code) {
    if (code >= 'a' && code <= 'z') return static_cast<char>(code - 'a' + 'A');
    if (code == ' ') return 'S';
    return code;
}

std::span<const DeviceRow> device_table() { return kDevices; }

const DeviceRow& device_row(char code) {
    const DeviceRow* row = find_row(device_code(code));
    return row ? *row : *find_row('S');
}

PlotDriver& driver_for(GraphicsState& g, char code) {
    if (g.recorder) return *g.recorder;
    return device_row(code).driver(g.drivers(), g.terminal_type);
}

std::vector<const DeviceRow*> rows_named(char code) {
    std::vector<const DeviceRow*> rows;
    if (code != '*') {
        if (const DeviceRow* row = find_row(device_code(code))) rows.push_back(row);
        return rows;
    }
    for (const DeviceRow& row : kDevices) {
        bool seen = false;
        for (const DeviceRow* r : rows) seen = seen || r->driver == row.driver;
        if (!seen) rows.push_back(&row);
    }
    return rows;
}

} // namespace tarva
