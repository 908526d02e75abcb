// What the annotation commands share: the check for a picture to draw on,
// the region prompts of STIPPL and HATCH, and the plot-unit ratio.
#pragma once

#include "graphics/annotation_layout.h"

namespace tarva {

struct Session;
struct CommandContext;

// The argument of STIPPL and ARC: an optional leading word, of which only
// the first letter counts (upper-cased; blank when the argument starts with
// a number or is empty), and the number that follows it (or the command's
// numeric argument when there is no word; 0 when none reads).
struct LetterAndNumber {
    char letter = ' ';
    double number = 0.0;
};
LetterAndNumber letter_and_number(const CommandContext& ctx);

// True when a picture exists; otherwise says "No plot current!".
bool picture_current(Session& s);

// Asks for the two corners of a region, each until it reads. False when the
// input ended.
bool ask_region(Session& s, Region& r);

// uy/ux of the current picture: Y units per X unit of equal length on the
// page (1 when the window is degenerate).
float plot_unit_ratio(const Session& s);

// Hands the steps to the device of the last picture.
void draw_on_last_picture(Session& s, const Strokes& strokes);

} // namespace tarva
