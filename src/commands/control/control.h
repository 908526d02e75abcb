// What the control commands share with their tests: the quoting of the
// shell line of "$".
#pragma once

#include <string>
#include <string_view>

namespace tarva {

// The shell line of a $ command: `text` as it stands, except that each run
// of columns flagged in `substituted` becomes one single-quoted word, so
// text from data files and macro arguments can be an argument but never a
// command. Trailing blanks are dropped.
std::string quote_substituted(std::string_view text, std::string_view substituted);

} // namespace tarva
