#include "plot/screen.h"

#include "plot/device.h"
#include "session/session.h"

namespace tarva {

void screen_mode(Session& s, char letter) {
    if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
    if (letter == ' ' || letter == '\0') letter = s.interp.remembered_screen;
    const std::string esc = "\x1b";
    switch (letter) {
    case ' ': return;
    case 'G': terminal_clear(s); break;
    case 'F': s.out().line(esc + "1" + esc + "\f" + esc + "2"); break;
    case 'H':
        s.out().line(esc + "[2J");
        s.out().line(esc + "[1;1H");
        break;
    case 'V': s.out().line(esc + "[2J"); break;
    case 'A': s.out().line("\f"); break;
    default: break;
    }
    s.interp.remembered_screen = letter;
}

std::string video_attribute(const Session& s, char letter, bool on) {
    int type = s.graphics.terminal_type;
    if (type == 0 || type == 1) return "    ";
    if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
    if (type == 7) {
        if (letter == 'R') return on ? std::string("\x1b\x1e\x44\0", 4) : std::string("\x1b\x1e\x45\0", 4);
        if (letter == 'D') return on ? std::string("\x1b\x1c\0\0", 4) : std::string("\x1b\x1d\0\0", 4);
        return "    ";
    }
    if (letter == 'R') return on ? "\x1b[7m" : "\x1b[0m";
    if (letter == 'D') return "\x1b[0m";
    return "    ";
}

} // namespace tarva
