// Pen steps of the annotations STIPPL, HATCH and ARC, worked out in world
// units without the Session, so they can be checked apart from any device.
#pragma once

#include <span>
#include <vector>

#include "graphics/strokes.h"

namespace tarva {

// A rectangle given by two corners (in any order).
struct Region {
    float xl, yl, xh, yh;
};

// Limits that keep a typing slip from producing an endless picture.
inline constexpr int kMaxStipples = 1000000; // dots of one STIPPL
inline constexpr int kMaxColumnDots = 10000; // dots above one data point
inline constexpr int kMaxHatchLines = 10000; // lines of one HATCH
inline constexpr int kMaxArcPoints = 100000; // points of one arc

// A typed or computed coordinate in single precision: values beyond 1e30
// stay at 1e30 (the page's far side) and NaN becomes 0, so the conversion
// never overflows.
float to_coordinate(double v);

// The outline of the rectangle: a move to (xl, yl) and four draws.
Strokes rectangle_outline(const Region& r);

// The stipple generator: r <- |fractional part of (9821 r + 0.211327)|.
double next_stipple_random(double r);

// n dots (a move and a draw to the same point) spread over the region; r is
// advanced before each coordinate and kept for the next call.
Strokes random_stipple(const Region& r, int n, double& state);

// Dots at y = 0, e, 2e, ... up to Y at every data point whose index lies
// between the points nearest in X to xl and to xh; with outline the
// verticals from 0 to the data at both ends come first. Nothing when e is
// not a positive number.
Strokes regular_stipple(std::span<const float> x, std::span<const float> y, float xl, float xh, float e, bool outline);

// Index of the value nearest to v (the first of equals); 0 for no values.
std::size_t nearest_index(std::span<const float> values, float v);

// Parallel lines over the rectangle, spacing a in X units (sign ignored),
// at `degrees` to the X axis on the page; ratio is uy/ux, the height of a
// plot unit in Y units over its width in X units. Nothing for a zero
// spacing.
Strokes hatch_lines(const Region& r, float a, float degrees, float ratio);

// Direction from (cx, cy) to (x, y) in data units, placed in 0..2 pi.
double direction_angle(double cx, double cy, double x, double y);

// The arc of radius R (X units) around (cx, cy) from angle alpha to beta
// (radians): trunc(60 R / ux) points per full circle, the Y offsets scaled
// by uy/ux so that the arc is round on the page; the first point a move.
Strokes arc_points(double cx, double cy, double radius, double alpha, double beta, float ux, float uy);

// A label's box in world units: lower-left corner, width and height.
struct LabelBox {
    float x, y, width, height;
};

// Places labels (XRAY's element names, PEAKS's peak names) so that no two
// overlap, nor one of `taken` (labels already on the picture): each in turn
// keeps its wanted place when it is at least `gap` from every box placed
// before it, else moves up (`upwards`) or down just past the boxes in its
// way. X stays as wanted, so a label stays over its markers, and markers
// are never moved. The boxes come back in the order wanted; a label whose
// place or size is not a usable number keeps its place and blocks none.
std::vector<LabelBox> place_labels(std::span<const LabelBox> wanted, std::span<const LabelBox> taken, float gap,
                                   bool upwards);

} // namespace tarva
