// The six spectrum markers (x, y pairs), marker 1 first.
#pragma once

#include <array>

namespace tarva {

struct Markers {
    std::array<double, 6> x{};
    std::array<double, 6> y{};
};

} // namespace tarva
