// Plot frame, marks and numbers along the axes, grid lines, and the axis
// settings the DRAW options change.
#pragma once

#include <string>
#include <vector>

#include "graphics/axis_settings.h"
#include "graphics/strokes.h"

namespace tarva {

// Step between major marks for a span and the number of numbers wanted
// (n below 1 counts as 1); one decade on a logarithmic axis of at most 20
// decades. 0 when the span gives no usable step.
double axis_step(double span, int n, bool log_axis);

// The values of the major marks: first + (k - 1) * step for k = -100..100
// with first = trunc(min / step) * step, those within [min, max].
std::vector<double> axis_values(double min, double max, double step);

// Digits after the point chosen from the span when the setting is automatic.
int automatic_digits(double span);

// Number texts in their 10-character fields (not trimmed). d is the digits
// setting; negative means automatic from the span.
std::string x_number_text(double value, double span, int d);
std::string y_number_text(double value, double span, int d);
// "10", ESC, "U" and the exponent: the label of a decade.
std::string decade_number_text(double value);

// "^1", "^3", "^5" or "^0" by the default font.
std::string number_font_prefix(int default_font);

struct PlotWindow {
    float xmin = 0.0F, xmax = 1.0F, ymin = 0.0F, ymax = 1.0F;
};

// Marks, numbers and grid lines on both axes of the window. unit_x, unit_y:
// plot unit size; size: character size factor.
void layout_axes(const AxisSettings& a, const PlotWindow& w, int default_font, float unit_x, float unit_y, int nx,
                 int ny, float size, bool ylog, Strokes& out);

// The frame; on the terminal the left side is drawn a second time.
void layout_box(char device, float xmin, float xmax, float ymin, float ymax, Strokes& out);

// Changes one setting by its DRAW key (K G I J R U 5 V W L X). Returns false
// for a key that is not an axis setting.
bool axis_setting(AxisSettings& a, char key, bool flag, double value);

} // namespace tarva
