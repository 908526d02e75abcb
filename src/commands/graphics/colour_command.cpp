// COLOUR: reports the colour switch. The PostScript, HP-GL and Tektronix
// drivers draw in the pen colour DRAW sets whatever it says; the pictures
// drawn through cairo (device X, the image terminals) turn to black lines
// with COLOUR/D and back to the pen colours with COLOUR/E.
#include "commands/commands.h"
#include "session/session.h"

namespace tarva {

void cmd_colour(Session& s, CommandContext& ctx) {
    if (ctx.qualifier == 'E') {
        s.graphics.colour_enabled = true;
        s.out().line("Colour enabled.");
    } else if (ctx.qualifier == 'D') {
        s.graphics.colour_enabled = false;
        s.out().line("Colour disabled.");
    } else
        s.out().line("Colour status not changed.");
}

} // namespace tarva
