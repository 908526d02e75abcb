// A terminal's size in pixels: the window size the kernel keeps for it
// (TIOCGWINSZ, filled in by xterm, kitty, foot, WezTerm, Konsole and ssh),
// else the terminal's window-size report (CSI 14 t); for sixel terminals
// also the largest picture they draw (CSI ? 2;1;0 S). The questions are
// followed by a device-attributes request that every terminal answers, so
// the wait ends as soon as the terminal has said all it will say. Exactly
// that one reply is read (keys typed after it stay for the command line);
// a reply that does not end in time is thrown away whole.
#pragma once

#include <string>
#include <string_view>

namespace tarva {

struct PixelSize {
    int width = 0, height = 0;
};

enum class TerminalAnswer {
    NotTerminal, // the destination is a file or cannot be opened for reading
    NoAnswer,    // no size from the kernel, and the terminal told none
    Answered,
};

struct TerminalSize {
    TerminalAnswer answer = TerminalAnswer::NotTerminal;
    PixelSize size;        // with Answered: the window, no larger than the terminal draws
    bool silent = false;   // the questions were sent and not answered in time
    bool no_sixel = false; // a sixel terminal's attributes leave out sixel graphics
};

// The size of the terminal device at `path`. Questions are sent (in raw
// mode, restored afterwards; at most `timeout_ms` of waiting) only when
// they can tell something the kernel did not and `timeout_ms` > 0, and
// never from a run in the background of its terminal.
TerminalSize query_terminal_pixels(const std::string& path, bool sixel, int timeout_ms);

// The size in a terminal's answer text (either report), if it holds one.
bool parse_pixel_report(std::string_view answer, PixelSize& size);

} // namespace tarva
