// Settings of the plot frame and axes and the unit of the plot symbols.
#pragma once

namespace tarva {

struct AxisSettings {
    float mark_size = 1.0F;  // K: major mark length in plot units
    float gradations = 2.0F; // G: minor divisions per major interval
    int x_digits = -1;       // I: digits after the point of X numbers, -1 automatic
    int y_digits = -1;       // J: the same for Y numbers
    bool right_marks = true; // R
    bool upper_marks = true; // U
    bool five_marks = true;  // 5: five minor divisions on linear axes
    bool x_numbers = true;   // V
    bool y_numbers = true;   // W
    bool grid_lines = false; // L: lines across the graph at major marks
    bool log_x = false;      // X: X values are decades

    // Symbol unit: span/190 and span/160 before a picture begins, the plot
    // unit size once it has.
    float symbol_unit_x = 1.0F / 190.0F;
    float symbol_unit_y = 1.0F / 160.0F;
};

} // namespace tarva
