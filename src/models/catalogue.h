// Function names and parameter names of the model catalogue.
#pragma once

#include <array>
#include <string_view>

#include "models/fit_state.h"
#include "text/fixed_text.h"

namespace tarva {

// The plain display name of function n (without the option variants);
// "Unused" outside 1..35.
std::string_view catalogue_name(int function);

// Number of peaks of the peak series (functions 18 and 21) for a parameter
// count: (n - 2) / 3 truncated, between 0 and 16.
int peak_count(int nparams);

// Writes the names that the routine of key.function writes for that
// parameter count and variant. Slots the routine does not name are left.
void write_names(FixedText<50>& function_name, std::array<FixedText<10>, kMaxParams>& param_name, const NameKey& key);

} // namespace tarva
