// Settings of the plot frame and axes.
#pragma once

namespace tarva {

struct AxisSettings {};

} // namespace tarva
