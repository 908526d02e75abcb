#include "session/session.h"

#include "fitting/engine_state.h"

namespace tarva {

// The engine's record is default-initialised: its per-point scratch is
// written by each pass before it is read, so its pages are not touched
// (nor zeroed) until a fit needs them.
//
// Pictures that render a whole page or frame at a time are written out
// when the program turns to the person at the keyboard: before a prompt
// answered from the keyboard (their messages before the prompt) and
// before any keyboard read, but not while a macro answers.
Session::Session(std::istream& keyboard, std::ostream& terminal)
    : interp(keyboard, terminal), engine_(std::make_unique_for_overwrite<EngineState>()) {
    interp.out.before_prompt = [this] {
        if (!macro_running()) flush_pictures(graphics, interp.out);
    };
    interp.input.before_keyboard_read = [this] { flush_pictures(graphics, interp.out); };
}

Session::~Session() = default;

} // namespace tarva
