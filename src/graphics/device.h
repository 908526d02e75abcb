// Entry points of the graphics device layer used by the interpreter.
#pragma once

namespace tarva {

struct Session;

// Closes the plot files of a device ('*' all, 'S' at program end).
void close_plot_files(Session& s, char device);
// Erases the graphics screen of the terminal.
void terminal_clear(Session& s);

} // namespace tarva
