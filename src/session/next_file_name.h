// Steps a numbered file name to the next existing file of its series (the
// answer NEXT at a file prompt).
#pragma once

#include <string>

#include "session/session.h"

namespace tarva {

// Replaces `name` by the next existing file; on failure writes the message
// and leaves the name unchanged. Returns true when a file was found.
bool next_file_name(Session& s, std::string& name);

} // namespace tarva
