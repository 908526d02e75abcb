// FONT n: the default font of all text in pictures.
#include "commands/commands.h"
#include "session/session.h"
#include "text/fixed_text.h"
#include "text/format.h"

namespace tarva {

void cmd_font(Session& s, CommandContext& ctx) {
    const int n = round_nearest(ctx.number);
    if (n >= 0 && n <= 8) s.fonts.default_font = n;
    s.out().line("Default font set to " + format_I(s.fonts.default_font, 2) + ".");
    s.out().blank_line();
}

} // namespace tarva
