// The program's own arguments. A session takes none: commands are typed at
// the prompt. The two questions a new user asks before that are answered
// without starting it: --version and --help.
#pragma once

#include <optional>
#include <ostream>

namespace tarva {

// Answers the arguments of the program. nullopt when there are none (the
// session starts); otherwise the exit status after writing the answer on
// `out` (--version, --help; 0) or a complaint on `err` (anything else; 2).
// `library_override` is the value of TARVA_LIB, or null when it is unset.
std::optional<int> answer_program_arguments(int argc, const char* const* argv, const char* library_override,
                                            std::ostream& out, std::ostream& err);

} // namespace tarva
