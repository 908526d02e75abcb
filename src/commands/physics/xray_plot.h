// The X-ray line database of a session and the line markers XRAY and BUMP
// draw on the last picture.
#pragma once

#include <string_view>
#include <vector>

#include "physics/xray_lines.h"

namespace tarva {

struct Session;

// The session's database, to be read from "xraylines.dat" in the library
// directory on first use.
XrayDatabase& xray_database(Session& s);

struct LineMarker {
    float energy;    // keV
    float intensity; // relative to the strongest line of the group
};

// Where the markers of a group stand and how long they are, in the window of
// the last picture; pure, for the drawing and its tests.
struct MarkerStroke {
    float x, y0, y1; // the marker runs from y0 (box edge) to y1
};
struct MarkerLayout {
    std::vector<MarkerStroke> strokes;
    float label_x = 0.0f, label_y = 0.0f; // lower-left corner of the label
};
// Lines are left out below the threshold, after the first max_lines (0: no
// limit) and outside the box (xlo..xhi, ylo..yhi ascending). `label_width`
// and `cap` (height of capitals) place the label beyond the tallest marker.
MarkerLayout layout_line_markers(const std::vector<LineMarker>& lines, int max_lines, double threshold, double height,
                                 bool upside_down, char symbol_end, bool log_x, float xlo, float xhi, float ylo,
                                 float yhi, float label_width, float cap);

// Draws the markers with the label on the device of the last picture, with
// the XRAY settings. The caller checks that a picture exists.
void draw_line_markers(Session& s, const std::vector<LineMarker>& lines, std::string_view label);

} // namespace tarva
