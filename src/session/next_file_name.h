// Steps a numbered file name to the next existing file of its series (the
// answer NEXT at a file prompt).
#pragma once

#include <string>

#include "session/session.h"

namespace tarva {

// Replaces `name` by the next existing file; on failure writes the message
// and leaves the name unchanged. Returns true when a file was found.
bool next_file_name(Session& s, std::string& name);

// The file a reader opens for the answer NEXT: the current data file name
// stepped to the next file of its series. When the series has no further
// file the name stays as it was (after next_file_name's message), so the
// reader takes the current file again; blank only when no data file has
// been named yet.
inline std::string stepped_data_file_name(Session& s) {
    std::string name(s.data.file_name.trimmed());
    next_file_name(s, name);
    return name;
}

} // namespace tarva
