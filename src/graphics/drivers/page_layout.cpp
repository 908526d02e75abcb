#include "graphics/drivers/page_layout.h"

#include "graphics/graphics_state.h"

namespace tarva {

PageTransform page_transform(const GraphicsState& g, float s, float offx, float offy) {
    const float c = g.char_size;
    const float a = g.aspect;
    const float left = (3.0f * c + 1.0f) * 1250.0f / 4.0f;
    float bottom = 1250.0f * c;
    float right = 0, top = 0;
    if (a < kSqrt2) {
        top = bottom + (10250.0f - left) / kSqrt2;
        right = left + (top - bottom) * a;
    } else {
        right = 10250.0f;
        top = bottom + (10250.0f - left) / a;
    }
    if (g.panel_low != 0.0f || g.panel_high != 1.0f) {
        // A panel of the box (the residual panel and the picture above it).
        const float h = top - bottom;
        top = bottom + g.panel_high * h;
        bottom += g.panel_low * h;
    }
    PageTransform t;
    float sx = 0, sy = 0;
    if ((g.xmax - g.xmin) * (g.ymax - g.ymin) == 0.0f) {
        t.zero_range = true;
    } else {
        sx = (right - left) / (g.xmax - g.xmin);
        sy = (top - bottom) / (g.ymax - g.ymin);
    }
    t.ax = s * sx;
    t.ay = s * sy;
    t.bx = s * (left - sx * g.xmin) + offx;
    t.by = s * (bottom - sy * g.ymin) + offy;
    return t;
}

} // namespace tarva
