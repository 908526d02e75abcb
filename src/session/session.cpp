#include "session/session.h"

#include "fitting/engine_state.h"

namespace tarva {

// The engine's record is default-initialised: its per-point scratch is
// written by each pass before it is read, so its pages are not touched
// (nor zeroed) until a fit needs them.
Session::Session(std::istream& keyboard, std::ostream& terminal)
    : interp(keyboard, terminal), engine_(std::make_unique_for_overwrite<EngineState>()) {}

Session::~Session() = default;

} // namespace tarva
