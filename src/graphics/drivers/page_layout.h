// The page layout shared by the PostScript device and the cairo pictures:
// an 11 by 8.5 inch landscape page in units of 0.001 inch, the plot box
// placed by the character size and the aspect ratio, the world window
// mapped onto it with DEFINE's scale and offsets.
#pragma once

namespace tarva {

struct GraphicsState;

inline constexpr float kPageWidth = 11000.0f; // 0.001 inch
inline constexpr float kPageHeight = 8500.0f;

// Page X = x*ax + bx, page Y = y*ay + by.
struct PageTransform {
    float ax = 0, bx = 0, ay = 0, by = 0;
    bool zero_range = false; // X or Y span zero: the scale factors are 0
};

// The transform of the window stored in `g` for scale s and offsets (page
// units), onto the panel of the box that `g` names (normally all of it).
PageTransform page_transform(const GraphicsState& g, float s, float offx, float offy);

} // namespace tarva
