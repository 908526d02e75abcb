#include "commands/graphics/draw/residuals.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "commands/graphics/draw/labels.h"
#include "graphics/data_band.h"
#include "models/catalogue.h"
#include "models/evaluate.h"
#include "plot/drawing.h"
#include "plot/plot.h"
#include "session/session.h"

namespace tarva {

namespace {

// The residuals of the points inside the X range with SIGMA other than
// zero, in data order.
std::vector<BandPoint> residuals_in(Session& s, const PlotLimits& box) {
    ModelInputs m{s.fit, s.data, s.models};
    std::vector<BandPoint> out;
    for (int i = 0; i < s.data.count; ++i) {
        const auto k = static_cast<std::size_t>(i);
        const float x = s.data.X[k], y = s.data.Y[k], e = s.data.SIGMA[k];
        if (!(x >= box.xmin && x <= box.xmax) || !std::isfinite(y) || !(std::fabs(e) > 0.0f)) continue;
        const double r = (y - evaluate(m, s.fit.value, x)) / std::fabs(e);
        if (std::isfinite(r)) out.push_back({x, static_cast<float>(r), 0.0f});
    }
    return out;
}

} // namespace

bool wants_residual_panel(Session& s, char device) {
    if (!s.draw.flags.residuals || !print_styled(s, device)) return false;
    const ModelKind k = model_kind(s.fit.function);
    return k == ModelKind::Curve || k == ModelKind::Spline;
}

void draw_residual_panel(Session& s, char device, const PlotLimits& box) {
    const std::vector<BandPoint> r = residuals_in(s, box);
    float most = 0.0f;
    for (const BandPoint& p : r) most = std::max(most, std::fabs(p.y));
    const float lim = std::max(1.1f * most, 1.0f);
    const PlotLimits panel{box.xmin, box.xmax, -lim, lim};
    set_panel(s, device, 0.0f, kResidualPanelHigh, panel.xmin, panel.xmax, panel.ymin, panel.ymax);
    float ux = 0, uy = 0;
    plot_unit_size(s, ux, uy);
    set_symbol_unit(s, ux, uy);
    draw_box(s, device, panel.xmin, panel.xmax, panel.ymin, panel.ymax);
    if (s.draw.flags.marks) draw_axes(s, device, s.draw.numbers_x, 2, s.graphics.char_size, false);
    draw_x_caption(s, device, panel);
    draw_y_caption(s, device, panel, "(Y-F)/SIGMA");
    plot_pen(s, device, panel.xmin, 0.0f, 3);
    plot_pen(s, device, panel.xmax, 0.0f, 2);

    const StrokeRoleScope data(s, StrokeRole::Data);
    const float size = 0.6f * std::max(s.draw.symbol_size, 0.5f);
    const float symbol_width = 0.4f * ux * size;
    if (denser_than_symbols(r, symbol_width)) {
        const SymbolFrame window{ux, uy, panel.xmin, panel.xmax, panel.ymin, panel.ymax};
        plot_strokes(s, device, layout_band(r, window, false).line);
        return;
    }
    for (const BandPoint& p : r) draw_symbol(s, device, p.x, std::clamp(p.y, panel.ymin, panel.ymax), 0.0f, 1, size);
}

} // namespace tarva
