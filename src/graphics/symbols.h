// Plot symbols at data points and their error bars.
#pragma once

#include "graphics/strokes.h"

namespace tarva {

// How error bars are drawn; the flags come from the DRAW options.
struct ErrorBarStyle {
    bool through = false;   // ER: the bar runs through the symbol
    bool crossbars = false; // H: crossbars at both ends
    bool x_errors = false;  // Z: errors are X errors
    bool log_x = false;     // X values are decades
    bool log_y = false;     // Y values are decades
};

// Frame of one symbol: its unit (plot unit or span/190, span/160) and the
// window that limits the error bars.
struct SymbolFrame {
    float unit_x = 1.0F, unit_y = 1.0F;
    float xmin = 0.0F, xmax = 1.0F, ymin = 0.0F, ymax = 1.0F;
};

// Symbol number taken modulo 8, 0 meaning 8.
int symbol_shape(int symbol);

// The two ends of an error bar of half-length e around c, on a linear or a
// decade scale, limited to [lo, hi]. False when an end is not a number.
bool error_bar_ends(float c, float e, bool decades, float lo, float hi, float& low_end, float& high_end);

// Outline of the symbol at (x, y) and its error bar (|err| > 1e-10).
void layout_symbol(const SymbolFrame& frame, const ErrorBarStyle& style, float x, float y, float err, int symbol,
                   float size, Strokes& out);

} // namespace tarva
