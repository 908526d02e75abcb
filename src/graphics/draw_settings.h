// Settings of the DRAW command kept between pictures.
#pragma once

namespace tarva {

struct DrawSettings {};

} // namespace tarva
