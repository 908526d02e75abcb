#include "graphics/device.h"

#include "command/session.h"

namespace tarva {

// No picture can be open until the drawing commands exist, so there is
// nothing to close or erase yet.
void close_plot_files(Session&, char) {}
void terminal_clear(Session&) {}

} // namespace tarva
