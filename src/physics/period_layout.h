// What PERIOD puts where: the place of each element's cell and the texts
// written in it, apart from any drawing.
#pragma once

#include <string>

#include "physics/beam.h"
#include "physics/physics_settings.h"
#include "physics/xray_lines.h"

namespace tarva {

// Column 1..18 and row of an element's cell: rows 1..7 are the periods
// (La and Ac stand in group 3), 8.5 and 9.5 the rows of Ce..Lu and Th..Lw
// set apart below.
struct CellPlace {
    int column;
    float row;
};
CellPlace cell_place(int z);

// The extra quantity of element z for the beam, as written in its cell;
// empty when the mode has none or the element is not heavier than the beam.
std::string extra_quantity_text(PeriodExtra extra, const Beam& beam, int z);

// The principal X-ray line of element z as written in its cell ("K 6.4040"):
// the first line of its set of the preferred family (K, L or M), or of
// another family when it has none; empty when the database has none.
std::string principal_line_text(const XrayDatabase& db, int z, char family);

// The caption naming the extra quantity (empty for none).
std::string extra_caption(PeriodExtra extra);

// "for 2.00 MeV He at 170.00 degrees".
std::string beam_statement(const Beam& beam);

} // namespace tarva
