// Entry points of the graphics device layer used by the commands: plot
// files, the terminal destination and the driver settings DRAW changes.
#pragma once

#include <string>
#include <string_view>

namespace tarva {

struct Session;
struct GraphicsState;

// Closes the plot files (PostScript, then HP-GL, in the device table's
// order) after writing out the pictures still waiting (flush_pictures).
// '*' is CLOSE; 'S' is the end of the program, which also returns the
// terminal to text and closes the plot destination.
void close_plot_files(Session& s, char device);
// Writes out device X's page and the image terminals' frame when they
// gained strokes since they were last written (they render whole pages,
// so annotations are gathered until the program waits for a person).
void flush_pictures(Session& s);
// Erases the graphics screen of the terminal.
void terminal_clear(Session& s);

// (Re)directs terminal graphics to a file or device; blank keeps the current
// one, "*" is the terminal. Returns the destination in force afterwards.
std::string open_destination(Session& s, const std::string& name);
std::string destination_name(const Session& s);

// DEFINE/c name and DEFINE/c placement: '*' every device, another code its
// own device only (nothing for a code not in the device table).
void define_device_name(Session& s, char device, std::string_view name);
void define_placement(Session& s, char device, float scale, float offx_mm, float offy_mm);

// Settings made by DRAW.
void pen_changed(Session& s, int n, float width);                                   // DRAW/C, every device
void hpgl_set_orientation(Session& s, bool vertical);                               // DRAW/E Q, DRAW/D Q
void terminal_set_placement(Session& s, float scale, float offx_mm, float offy_mm); // DRAW/B

// THICK: extra line pairs (limited to 0..10) and their offset in plot units.
void set_line_thickness(GraphicsState& g, int count, float offset);

// TERMIN's menu: asks for a terminal type and selects it. False when the
// input ended.
bool choose_terminal_type(Session& s);

} // namespace tarva
