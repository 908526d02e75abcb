// Small file helpers shared by the spectrum commands.
#pragma once

#include <optional>
#include <string>

#include "session/session.h"

namespace tarva {

// The bytes of a regular file of at most `limit` bytes; nullopt when it does
// not exist, cannot be read, is no regular file or is larger.
std::optional<std::string> read_small_file(const std::string& name, std::size_t limit);

// Makes function 12 (the spectrum drawn as a histogram) the current model.
void select_spectrum_function(Session& s);

} // namespace tarva
