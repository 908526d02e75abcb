// The drawing primitive and picture bracket every drawing routine uses.
// Coordinates are world (data) units in single precision; pen 3 moves with
// the pen up, 2 draws.
#pragma once

namespace tarva {

struct Session;

void plot_pen(Session& s, char device, float x, float y, int pen);
// Size in world units of one plot unit along X and along Y.
void plot_unit_size(const Session& s, float& ux, float& uy);

} // namespace tarva
