// The keyboard level of the input stack in the real program: line editing
// with history when standard input is a terminal, plain reads otherwise.
#pragma once

#include "session/session.h"

namespace tarva {

void attach_keyboard(Session& s);
void detach_keyboard(Session& s);

} // namespace tarva
