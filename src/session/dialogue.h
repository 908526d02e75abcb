// Prompting and answer reading shared by every command.
//
// A prompt stays on its line; the answer comes from the top of the input
// stack, so a running macro answers exactly as a user would, and its answers
// are echoed to the output sink. When the input ends inside a prompt the
// innermost macro is ended (or, at the keyboard, the program is asked to end
// as by EXIT) and the reader returns nothing: the command then gives up.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "session/session.h"

namespace tarva {

// How a numeric answer read from a macro is echoed.
enum class Echo { None, G13_5, Free, I10 };

// Handles end of input inside a prompt: ends the innermost macro, or at the
// keyboard requests the end of the program.
void input_ended(Session& s);

// Reads one answer line (no prompt written). Cut to `width` characters and
// blank-padded to it; echoed as text while a macro runs (when `echo`).
std::optional<std::string> read_answer(Session& s, std::size_t width, bool echo = true);

// The prompt loop every question goes through: writes the prompt, reads one
// answer line and hands it to `parse` (a callable taking the line and
// returning an optional); asks again while parse returns nothing. When the
// input ends, input_ended runs and the result is nullopt.
template <class Parse>
auto ask_until(Session& s, std::string_view prompt, Parse parse) -> decltype(parse(std::string())) {
    for (;;) {
        s.out().prompt(prompt);
        auto line = s.input().read_line();
        if (!line) {
            input_ended(s);
            return std::nullopt;
        }
        if (auto value = parse(*line)) return value;
    }
}

// Writes the prompt, then reads an answer of `width` characters.
std::optional<std::string> ask_text(Session& s, std::string_view prompt, std::size_t width, bool echo = true);

// As ask_text, for an answer that names a file: TAB at the keyboard
// completes file names (at other questions it completes nothing).
std::optional<std::string> ask_file_name(Session& s, std::string_view prompt, std::size_t width, bool echo = true);

// Writes the prompt and reads a number in a 12-column free field, asking
// again until it reads. An empty answer reads as 0 (as a blank field does).
std::optional<double> ask_real(Session& s, std::string_view prompt, Echo echo = Echo::G13_5);

// Writes the echo of a number read from a macro.
void echo_number(Session& s, double value, Echo echo);

// Result codes of the pair readers.
inline constexpr int kPairOk = 0;
inline constexpr int kPairBad = 1;
inline constexpr int kPairEnded = -1; // input ended; the caller gives up

// How a pair answer read from a macro is echoed: as typed, on a line of its
// own beginning with "+" (the usual way), or as the two values after the
// prompt in 1P G13.5 form (ARC).
enum class PairEcho { AsTyped, G13_5 };

// Reads one answer and updates a and/or b (see parse_number_pair). On a bad
// answer both keep their entry values and kPairBad is returned.
int read_number_pair(Session& s, double& a, double& b, PairEcho echo = PairEcho::AsTyped);

// The same on a given text of up to 32 characters; never kPairEnded.
int parse_number_pair(std::string_view text, double& a, double& b);

// Writes the prompt and reads one pair answer (no second asking): the result
// of read_number_pair.
int ask_number_pair_once(Session& s, std::string_view prompt, double& a, double& b);

// Asks with `prompt` until read_number_pair reads. False when input ended.
bool ask_number_pair(Session& s, std::string_view prompt, double& a, double& b, PairEcho echo = PairEcho::AsTyped);

// The user's home directory (HOME), blank when unset.
std::string home_directory();
// "Mmm dd" + four-digit year in 10 characters, from the system clock.
std::string date_stamp();
// "hh:mm:ss" from the system clock.
std::string time_stamp();

} // namespace tarva
