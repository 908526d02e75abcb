// Frame, axes and symbols drawn on a device of the session.
#include "graphics/axes.h"
#include "graphics/symbols.h"
#include "plot/drawing.h"
#include "plot/plot.h"
#include "session/session.h"

namespace tarva {

void set_window(Session& s, float xmin, float xmax, float ymin, float ymax) {
    GraphicsState& g = s.graphics;
    g.xmin = xmin;
    g.xmax = xmax;
    g.ymin = ymin;
    g.ymax = ymax;
    g.xspan = xmax - xmin;
    g.yspan = ymax - ymin;
    g.left_margin = xmin - 0.05F * (xmax - xmin);
}

void draw_box(Session& s, char device, float xmin, float xmax, float ymin, float ymax) {
    set_window(s, xmin, xmax, ymin, ymax);
    Strokes out;
    layout_box(device, xmin, xmax, ymin, ymax, out);
    plot_strokes(s, device, out);
}

void draw_axes(Session& s, char device, int nx, int ny, float size, bool ylog) {
    float ux = 0.0F, uy = 0.0F;
    plot_unit_size(s, ux, uy);
    const GraphicsState& g = s.graphics;
    Strokes out;
    layout_axes(s.axes, PlotWindow{g.xmin, g.xmax, g.ymin, g.ymax}, s.fonts.default_font, ux, uy, nx, ny, size, ylog,
                out);
    plot_strokes(s, device, out);
}

bool axis_setting(Session& s, char key, bool flag, double value) { return axis_setting(s.axes, key, flag, value); }

void set_symbol_unit(Session& s, float unit_x, float unit_y) {
    s.axes.symbol_unit_x = unit_x;
    s.axes.symbol_unit_y = unit_y;
}

void draw_symbol(Session& s, char device, float x, float y, float err, int symbol, float size) {
    const GraphicsState& g = s.graphics;
    const DrawFlags& f = s.draw.flags;
    SymbolFrame frame;
    frame.unit_x = s.axes.symbol_unit_x;
    frame.unit_y = s.axes.symbol_unit_y;
    frame.xmin = g.xmin;
    frame.xmax = g.xmax;
    frame.ymin = g.ymin;
    frame.ymax = g.ymax;
    ErrorBarStyle style;
    style.through = f.errors_through;
    style.crossbars = f.bar_ends;
    style.x_errors = f.x_errors;
    style.log_x = s.axes.log_x;
    style.log_y = f.log_y;
    Strokes out;
    layout_symbol(frame, style, x, y, err, symbol, size, out);
    plot_strokes(s, device, out);
}

} // namespace tarva
