// BUMP: the six markers, their file, and the cross-hair dialogue that places
// markers, identifies peaks, edits the data at the cursor and calibrates the
// energy axis.
#pragma once

#include <string>

namespace tarva {

struct Session;

inline constexpr const char* kMarkerFile = "QVMARK.DAT";

// The marker file's text: x1, y1 .. x3, y3 and x4, y4 .. x6, y6 on two lines.
std::string marker_file_text(const Session& s);

// One key of the cross-hair dialogue with the cursor at (x, y) in plot
// coordinates. False when the key ends the dialogue (Q).
bool bump_key(Session& s, char key, float x, float y);

} // namespace tarva
