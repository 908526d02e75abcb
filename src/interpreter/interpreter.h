// The interpreter: start-up, line preparation (markers), dispatch through
// the command table and the command loop. The commands themselves are
// under commands/.
#pragma once

#include <string>

#include "commands/command_context.h"
#include "session/session.h"

namespace tarva {

inline constexpr const char* kVersion = "7.1";

// Start-up: banner and library paths on `err`, start values, login macro.
void start_up(Session& s, std::ostream& err);

// Reads and runs command lines until EXIT or the end of keyboard input.
// Returns the exit status.
int run_loop(Session& s);

// Prepares one raw line as the loop does (cut to 40 columns, left-justify,
// blank after a leading "@", "!" or "$", substitution markers) and splits it.
// Returns false when the line is blank. `expanded` tells whether a marker was
// replaced.
bool prepare_line(Session& s, std::string_view raw, CommandContext& ctx, bool& expanded);

// Expands the four substitution markers in a 40-column line. Text that came
// from a substitution is not searched again, so expansion always ends.
// `substituted`, when given, receives one flag per column: nonzero where
// the text came from a marker.
bool expand_markers(const Session& s, std::string& line, std::string* substituted = nullptr);

// Carries out one line read at the prompt: prepares it (markers expanded and
// shown), splits it and runs the command it names. A blank line does nothing.
// Returns the command context as the command left it (DATA reports a failed
// read through the numeric argument).
CommandContext execute_line(Session& s, std::string_view raw);

// Runs one prepared command (table lookup, macro by name, or "?word").
void dispatch(Session& s, CommandContext& ctx);

} // namespace tarva
