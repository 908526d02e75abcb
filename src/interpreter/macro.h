// Starting macro files by name, shared by "@", the login macro and the
// readers that chain to a macro.
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

// True when a file (not a directory) of that name exists.
bool regular_file_exists(const std::string& name);

} // namespace tarva
