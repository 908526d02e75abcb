// Starting macro files by name, shared by "@", the login macro and the
// interpreter's macro-by-name lookup; the end of the run.
#pragma once

#include <string>

#include "session/session.h"

namespace tarva {

// Longest name without extension that still takes ".qvc".
inline constexpr std::size_t kMaxMacroStem = 26;

// Starts the macro file `name` as "@ name" does: ".qvc" is appended to a name
// without ".", a missing file or one that cannot be opened (also a tenth
// nesting level) is reported. Returns true when the macro now runs.
bool open_macro(Session& s, std::string name);

// Starts a macro file as "@ name" does, without the ".qvc" rule. Returns
// false when it cannot be opened (not a regular file, or nine levels run
// already); writes nothing itself.
bool start_macro(Session& s, const std::string& name);

// Ends the run as EXIT does: the command loop returns at its next turn
// (and main closes the plot files).
void request_exit(Session& s);

} // namespace tarva
