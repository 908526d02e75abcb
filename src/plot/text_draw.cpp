// Stroke text and stroke lists handed to the device layer.
#include "graphics/strokes.h"
#include "graphics/text.h"
#include "plot/drawing.h"
#include "plot/plot.h"
#include "session/session.h"

namespace tarva {

void plot_strokes(Session& s, char device, const Strokes& strokes) {
    for (const PenStep& p : strokes) plot_pen(s, device, p.x, p.y, p.pen);
}

void draw_text(Session& s, char device, float x, float y, float size, float angle, std::string_view text) {
    float ux = 0.0F, uy = 0.0F;
    plot_unit_size(s, ux, uy);
    Strokes out;
    layout_text(s.fonts.default_font, x, y, ux, uy, size, angle, text, &out);
    plot_strokes(s, device, out);
}

float text_width(const Session& s, float size, std::string_view text) {
    float ux = 0.0F, uy = 0.0F;
    plot_unit_size(s, ux, uy);
    return layout_text(s.fonts.default_font, 0.0F, 0.0F, ux, uy, size, 0.0F, text, nullptr);
}

} // namespace tarva
