// LABEL: text placed on the last picture.
#pragma once

#include <string>
#include <string_view>

namespace tarva {

struct FitState;

// Replaces each "&&n" (n one or two digits, 1..50) by the name of parameter
// n, " = " and its value in 1P G12.5 form; at most 50 times; the result is
// cut to 130 characters.
std::string substitute_parameters(std::string_view text, const FitState& fit);

} // namespace tarva
