// COLOUR: reports the colour switch; the drivers draw in the pen colour DRAW
// sets, so there is no state to change.
#include "commands/commands.h"
#include "session/session.h"

namespace tarva {

void cmd_colour(Session& s, CommandContext& ctx) {
    if (ctx.qualifier == 'E')
        s.out().line("Colour enabled.");
    else if (ctx.qualifier == 'D')
        s.out().line("Colour disabled.");
    else
        s.out().line("Colour status not changed.");
}

} // namespace tarva
