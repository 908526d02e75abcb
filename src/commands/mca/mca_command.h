// The pieces of MCA that live in their own files.
#pragma once

#include "commands/command_context.h"
#include "session/session.h"

namespace tarva {

// MCA/S and MCA/A: the data set as a binary or ASCII spectrum file.
void save_spectrum(Session& s, CommandContext& ctx);

// MCA/I, R, N and L: the experimental parameters from a file and/or the
// dialogue, saved back for R and L.
void experiment_dialogue(Session& s, CommandContext& ctx);

// MCA/E and MCA/D: switch the option whose letter stands in column 8.
void switch_option(Session& s, const CommandContext& ctx, bool on);

// The file name of MCA reads (save = false) and saves. Empty when the
// command is to end; `failed` tells whether that is a failure.
std::string mca_file_name(Session& s, const CommandContext& ctx, bool& failed);

} // namespace tarva
