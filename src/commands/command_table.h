// The command table: 80 six-character keys searched in order (the order
// decides abbreviations), each with the routine that carries it out. The
// interpreter looks words up here; MENU and the completion list the keys.
#pragma once

#include <array>
#include <string_view>

#include "commands/command_context.h"
#include "session/session.h"

namespace tarva {

using CommandHandler = void (*)(Session&, CommandContext&);

struct CommandEntry {
    const char* key; // up to 6 characters; blank entries never match
    CommandHandler handler;
};

inline constexpr int kCommandCount = 80;

const std::array<CommandEntry, kCommandCount>& command_table();

// The entry whose key starts with the first `len` characters of `word`
// (table order decides), or nullptr.
const CommandEntry* find_command(std::string_view word);

} // namespace tarva
