// The least-squares engine's working copy, kept between fits.
#pragma once

namespace tarva {

struct EngineState {};

} // namespace tarva
