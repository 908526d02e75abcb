// What a command receives: the prepared 40-column command line, the
// one-letter qualifier and the numeric argument.
#pragma once

#include <string>
#include <string_view>

#include "text/fixed_text.h"

namespace tarva {

struct CommandContext {
    FixedText<40> line;   // word in columns 1-6, blank in 7, argument text 8-40
    char qualifier = ' '; // upper case, blank when none
    double number = 0.0;  // 0 when the first argument is not a number

    // Columns 1-6, trailing blanks removed.
    std::string_view word() const { return tarva::trimmed(line.view().substr(0, 6)); }
    // Columns 8 to 40 (33 characters, blank-padded).
    std::string_view argument() const { return line.view().substr(7); }
    std::string_view argument_trimmed() const { return tarva::trimmed(argument()); }
};

// Splits a 40-column line into word, qualifier and numeric argument and
// rebuilds the line (word, blank, argument text). A plain number as the first
// argument is rewritten in 1P G13.5 form.
void parse_command_line(FixedText<40>& line, char& qualifier, double& number);
inline void parse_command_line(CommandContext& ctx) { parse_command_line(ctx.line, ctx.qualifier, ctx.number); }

} // namespace tarva
