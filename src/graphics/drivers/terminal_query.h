// Asking a terminal for its size in pixels: the window-size report
// (CSI 14 t) and, for sixel terminals, the graphics geometry (CSI ? 2;1;0 S),
// followed by a device-attributes request that every terminal answers, so
// the wait ends as soon as the terminal has said all it will say.
#pragma once

#include <string>
#include <string_view>

namespace tarva {

struct PixelSize {
    int width = 0, height = 0;
};

enum class TerminalAnswer {
    NotTerminal, // the destination is a file or cannot be opened for reading
    NoAnswer,    // the terminal said nothing about its size within the time
    Answered,
};

// Sends the queries to the terminal device at `path` in raw mode and waits
// at most `timeout_ms` for the answers; the terminal mode is restored.
TerminalAnswer query_terminal_pixels(const std::string& path, bool sixel, int timeout_ms, PixelSize& size);

// The size in a terminal's answer text (either report), if it holds one.
bool parse_pixel_report(std::string_view answer, PixelSize& size);

} // namespace tarva
