// The current model function, its parameters and masks.
#pragma once

#include <array>

#include "text/fixed_text.h"

namespace tarva {

inline constexpr int kMaxParams = 50;

struct FitState {
    int function = 5;
    int nparams = 1;
    std::array<double, kMaxParams> value{};
    std::array<double, kMaxParams> error{};
    std::array<int, kMaxParams> mask{};
    FixedText<50> function_name;
    std::array<FixedText<10>, kMaxParams> param_name{};
    int mode = 1;
    int exp_argument = 0; // 10**X is the argument
    int log_result = 0;   // log10 of the result
    int sqrt_result = 0;  // square root of the result

    FitState() {
        for (int i = 0; i < 10; ++i) {
            param_name[i] = "Blank";
            mask[i] = 1;
        }
    }
};

} // namespace tarva
