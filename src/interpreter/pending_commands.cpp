// Commands whose routines are not built yet: each says so plainly.
// These definitions are weak: a module that defines the routine replaces
// the placeholder without touching this file. Remove a line here once its
// command is built, to keep this list honest.
#include "interpreter/command_table.h"
#include "commands/commands.h"

namespace tarva {

[[gnu::weak]] void cmd_bump(Session& s, CommandContext& ctx) { command_not_available(s, ctx); }

} // namespace tarva
