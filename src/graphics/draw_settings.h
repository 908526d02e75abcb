// Settings of the DRAW command kept between pictures: the on/off flags of
// DRAW/E and DRAW/D, sizes, line style, number counts, the device and
// limits of the last picture and the overlay counter.
//
// The axes and the symbol routine read what concerns them from here (the
// error-bar flags, sizes); DRAW is the only writer. The aspect ratio, the
// character size, the line style and the graphics-clear flag, which the
// device layer applies, live in the graphics state.
#pragma once

#include <vector>

#include "graphics/annotation_layout.h"
#include "text/fixed_text.h"

namespace tarva {

// The on/off flags, named after their DRAW/E and DRAW/D keys. The keys F,
// L, R, U, V, W and X (and the values of K, G and DRAW/M) are settings of
// the axis routine and live in the axis settings.
struct DrawFlags {
    bool axis = false;           // A: dashed zero axes
    bool box = true;             // B: frame around the picture
    bool solid_points = true;    // CL: filled plot symbols
    bool data_points = true;     // D: draw the data points
    bool errors_through = false; // ER: error bars drawn through the symbols
    bool extend = false;         // EX: curve extends beyond the data range
    bool curve_to_edge = true;   // G: curve drawn from edge to edge of the box
    bool bar_ends = false;       // H: crossbars at the ends of error bars
    bool instant_spline = true;  // I: refit the spline before drawing (function 11)
    bool jump_out = false;       // J: points outside the limits drawn as well
    bool marks = true;           // M: marks and numbers
    bool macro_name = false;     // NM: name of the running macro on the picture
    bool name = true;            // N: data set name and legend symbol
    bool force_points = false;   // O: curve also evaluated at the data points
    bool parameters = false;     // P: line of experimental parameters
    bool spectral = false;       // S: spectral plot mode
    bool old_limits = false;     // T: limits fixed to the old limits
    bool old_x_limits = false;   // TX
    bool old_y_limits = false;   // TY
    bool log_y = false;          // Y: logarithmic Y axis
    bool x_errors = false;       // Z: error bars are X errors
    bool residuals = false;      // CR: residual panel under the picture (device X, image terminals)
};

struct DrawSettings {
    DrawFlags flags;

    int curve_steps = 250;                       // DRAW/N
    char default_device = 'S';                   // DRAW/T
    FixedText<50> default_destination{"@CON22"}; // DRAW/Y
    float dash = 0.0f;                           // DRAW/Z, plot units; 0 = solid
    float space = 0.0f;
    float pause = 0.0f; // DRAW/W, seconds
    int numbers_x = 7;  // DRAW/F
    int numbers_y = 7;
    int pen_colour = 0; // DRAW/C
    float line_width = 1.0f;
    int pen_velocity = 36;    // DRAW/V, cm/s
    int line_style = 0;       // DRAW/L, for data line and curve; 0 = solid
    float symbol_size = 1.0f; // DRAW/J
    int fixed_symbol = 0;     // DRAW/0 .. DRAW/9, 0 = not fixed
    float extension = 0.1f;   // DRAW/E EXd

    // The last picture.
    bool picture_drawn = false;
    char last_device = 'S';
    float old_xmin = 0.0f, old_xmax = 0.0f, old_ymin = 0.0f, old_ymax = 0.0f;
    int overlay = 1; // selects the symbol; DRAW sets 1, DRAW/R adds 1
    // Legend row above the box: entries (name, symbol) are laid out from
    // the right; this is where the next overlay's entry ends.
    float legend_right = 0.0f;
    int legend_row = 0; // rows above the first when the row is full
    // Line labels (XRAY) placed on the last picture in the print style, so
    // that the next one is placed clear of them.
    std::vector<LabelBox> placed_labels;

    // STIPPL's random generator, 0 <= r < 1, kept between commands.
    double stipple_random = 0.0;
};

} // namespace tarva
