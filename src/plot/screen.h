// The terminal screen between commands: clearing it in the chosen way, and
// the video attributes of the terminal type.
#pragma once

#include <string>

namespace tarva {

struct Session;

// The screen operation (CLEAR, and after each command line read).
void screen_mode(Session& s, char letter);
// A 4-character control text for reverse ('R') or plain ('D') video.
std::string video_attribute(const Session& s, char letter, bool on);

} // namespace tarva
