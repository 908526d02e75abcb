#include "plot/plot.h"

#include <cmath>

#include "graphics/drivers/device_table.h"
#include "plot/device.h"
#include "plot/drawing.h"
#include "session/session.h"

namespace tarva {

namespace {

DriverIo io_of(Session& s, char device) { return DriverIo{s.graphics, s.out(), device_code(device)}; }

// Draws from (x1, y1) to (x2, y2) and, with THICK set, the parallel strokes
// around the segment; ends with the pen at (x2, y2).
void thick_segment(Session& s, char device, float x1, float y1, float x2, float y2) {
    device_vector(s, device, x2, y2, 2);
    const GraphicsState& g = s.graphics;
    const int n = g.thick_count;
    const float d = g.thick_offset;
    if (n < 1 || !(d > 1e-10f)) return;
    float ux = 0, uy = 0;
    plot_unit_size(s, ux, uy);
    const float dx = ux * d, dy = uy * d;
    const float sx = x2 >= x1 ? 1.0f : -1.0f;
    const float sy = y2 >= y1 ? 1.0f : -1.0f;
    const float ox = static_cast<float>(n) * dx, oy = static_cast<float>(n) * dy;
    float sn = 0, cs = 0;
    for (int i = 1; i <= n; ++i) {
        const float cx = static_cast<float>(i) * dx, cy = static_cast<float>(i) * dy;
        if (std::fabs(x2 - x1) < 1e-10f) {
            device_vector(s, device, x1 + cx, y1 - oy * sy, 3);
            device_vector(s, device, x1 + cx, y2 + oy * sy, 2);
            device_vector(s, device, x1 - cx, y2 + oy * sy, 3);
            device_vector(s, device, x1 - cx, y1 - oy * sy, 2);
        } else if (std::fabs(y2 - y1) < 1e-10f) {
            device_vector(s, device, x1 - ox * sx, y1 - cy, 3);
            device_vector(s, device, x2 + ox * sx, y1 - cy, 2);
            device_vector(s, device, x2 + ox * sx, y1 + cy, 3);
            device_vector(s, device, x1 - ox * sx, y1 + cy, 2);
        } else {
            if (i == 1) {
                const float theta = std::atan2(y2 - y1, x2 - x1);
                sn = std::sin(theta);
                cs = std::cos(theta);
            }
            device_vector(s, device, x1 + cx * sn, y1 - cy * cs, 3);
            device_vector(s, device, x2 + cx * sn, y2 - cy * cs, 2);
            device_vector(s, device, x2 - cx * sn, y2 + cy * cs, 3);
            device_vector(s, device, x1 - cx * sn, y1 + cy * cs, 2);
        }
    }
    device_vector(s, device, x2, y2, 3);
}

} // namespace

void plot_pen(Session& s, char device, float x, float y, int pen) {
    if (!valid_pen_code(pen)) return;
    GraphicsState& g = s.graphics;
    if (pen != 3) {
        if (g.pen_code == 3) device_vector(s, device, g.pen_x, g.pen_y, 3);
        thick_segment(s, device, g.pen_x, g.pen_y, x, y);
    }
    g.pen_x = x;
    g.pen_y = y;
    g.pen_code = pen;
}

void device_vector(Session& s, char device, float x, float y, int pen) {
    if (!valid_pen_code(pen)) return;
    driver_for(s.graphics, device).vector(io_of(s, device), x, y, pen);
}

void plot_unit_size(const Session& s, float& ux, float& uy) {
    const GraphicsState& g = s.graphics;
    ux = 0.0225f * (g.xmax - g.xmin);
    uy = 0.0225f * (g.ymax - g.ymin);
    float a = g.aspect > 0.0f ? g.aspect : kSqrt2;
    // A panel is as wide as the box but lower: its plot unit keeps the
    // size it has on the page.
    const float share = g.panel_high - g.panel_low;
    if (share != 1.0f && share > 0.0f) a /= share;
    if (a >= 1.0f)
        uy *= a;
    else
        ux /= a;
}

void begin_plot(Session& s, float aspect, char device, float xmin, float xmax, float ymin, float ymax, float& status) {
    GraphicsState& g = s.graphics;
    g.aspect = aspect;
    g.xmin = xmin;
    g.xmax = xmax;
    g.ymin = ymin;
    g.ymax = ymax;
    status = 0.0f;
    g.left_margin = xmin - 0.05f * (xmax - xmin);
    g.xspan = xmax - xmin;
    g.yspan = ymax - ymin;
    g.panel_low = 0.0f;
    g.panel_high = 1.0f;
    if (!g.recorder && device_row(device).terminal) {
        if (!g.drivers().destination.is_open()) open_destination(s, "*");
        if (g.terminal_type == 0) choose_terminal_type(s);
        // The destination takes the pictures in the order they were drawn
        // (a frame still waiting goes out before a picture in another
        // terminal type), and the text printed so far shows above them.
        flush_pictures(s);
        s.out().flush();
    }
    driver_for(g, device).begin_picture(io_of(s, device), status);
}

void end_plot(Session& s, char device) { driver_for(s.graphics, device).end_picture(io_of(s, device)); }

StrokeRoleScope::StrokeRoleScope(Session& s, StrokeRole role) : s_(s), before_(s.graphics.stroke_role) {
    s.graphics.stroke_role = role;
}
StrokeRoleScope::~StrokeRoleScope() { s_.graphics.stroke_role = before_; }

bool print_styled(Session& s, char device) {
    return s.graphics.print_style && driver_for(s.graphics, device).styles_for_print();
}

void shade_area(Session& s, char device, std::span<const std::pair<float, float>> outline) {
    driver_for(s.graphics, device).shade(io_of(s, device), outline);
}

void set_panel(Session& s, char device, float low, float high, float xmin, float xmax, float ymin, float ymax) {
    GraphicsState& g = s.graphics;
    g.panel_low = low;
    g.panel_high = high;
    set_window(s, xmin, xmax, ymin, ymax);
    driver_for(g, device).window_changed(io_of(s, device));
}

bool cross_hair(Session& s, char device, char& key, float& x, float& y) {
    GraphicsState& g = s.graphics;
    const DeviceRow& row = device_row(device);
    if (row.terminal && !g.drivers().destination.is_open()) open_destination(s, "*");
    PlotDriver& driver = row.driver(g.drivers(), g.terminal_type);
    bool read = false;
    const ReportReader reader = [&s, &read] {
        auto report = s.input().read_keyboard();
        read = report.has_value();
        return report;
    };
    if (driver.cross_hair(io_of(s, device), reader, key, x, y)) return read;
    s.out().line("Cross hair mode is not supported by this device.");
    key = 'Q';
    x = 0.0f;
    y = 0.0f;
    return false;
}

} // namespace tarva
