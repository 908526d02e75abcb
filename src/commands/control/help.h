// On-line help: the command menu, sections of the general help file chosen
// by keyword, and the entries of the function help file.
#pragma once

#include <string>
#include <string_view>

#include "session/session.h"

namespace tarva {

// Lines shown before the pause prompt of a long help text.
inline constexpr int kHelpPageLines = 20;

// The command table, eight keys to a line.
void show_menu(Session& s);

// With `list` false: every section of `file` with a keyword that begins with
// `topic` (6 characters), paged. With `list` true: the section names.
void show_help_file(Session& s, bool list, const std::string& file, std::string_view topic);

// The entry of function `number` (rounded) in the function help file.
void show_function_help(Session& s, double number);

} // namespace tarva
