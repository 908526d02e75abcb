// Files the program reads are opened only when they are regular files
// (symbolic links followed): a device such as /dev/zero would read for ever,
// a fifo blocks in open until some writer comes, and a directory has no
// lines.
#pragma once

#include <fstream>
#include <string>

namespace tarva {

// True when `name` names a regular file (after symbolic links).
bool is_regular_file(const std::string& name);

// Opens `name` for binary reading when it is a regular file. False (and
// `in` left closed) otherwise.
bool open_regular(std::ifstream& in, const std::string& name);

// Whether `name` may be written as a log: it does not exist yet, or it is
// a regular file, or it is a terminal. Anything else (a fifo, which blocks
// in open, or a device that swallows or refuses the lines) is refused.
bool may_write_log(const std::string& name);

} // namespace tarva
