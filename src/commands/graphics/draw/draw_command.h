// Pieces of the DRAW command shared between its source files.
#pragma once

#include <string>
#include <string_view>

#include "commands/command_context.h"
#include "commands/graphics/draw/apply_settings.h"
#include "commands/graphics/draw/limits.h"
#include "session/session.h"

namespace tarva {

// DRAW/E key (enable = true) and DRAW/D key: sets the flag and prints its
// message. The key is the argument word as typed.
void draw_flag(Session& s, std::string_view word, bool enable);

// The words of the argument text: the first (upper-cased) and the second
// (as typed), both without blanks.
struct DrawArguments {
    std::string key;  // first word, upper case
    std::string file; // second word
};
DrawArguments draw_arguments(const CommandContext& ctx);

// DRAW/c: a picture on device c. `key` is the upper-cased argument word.
void draw_picture(Session& s, char device, const DrawArguments& args);

// DRAW/R: box (B), marks (M) or an overlay of data and curve on the last
// picture.
void draw_redraw(Session& s, const DrawArguments& args);

// The limits of a picture (step 2 of a picture): false when the command
// must stop (a message was printed, or the input ended).
bool picture_limits(Session& s, const DrawArguments& args, PlotLimits& limits);

} // namespace tarva
