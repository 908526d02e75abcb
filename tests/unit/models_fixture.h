// A fit state, data set and spline tables wired to the evaluator, for the
// model-function tests.
#pragma once

#include <array>
#include <initializer_list>
#include <string>

#include "models/evaluate.h"

namespace tarva::testing {

struct ModelBench {
    FitState fit;
    DataSet data;
    ModelTables tables;
    ModelInputs m{fit, data, tables};
    std::array<double, kMaxParams> p{};

    // A(1), A(2), ... from the list; the other slots 0.
    void params(std::initializer_list<double> values) {
        p.fill(0.0);
        std::size_t i = 0;
        for (double v : values) p[i++] = v;
    }
    // A(slot) with slot 1-based.
    double& A(int slot) { return p[static_cast<std::size_t>(slot - 1)]; }

    double at(int function, int nparams, float x) {
        fit.function = function;
        fit.nparams = nparams;
        return evaluate(m, p, x);
    }
    std::string name() const { return std::string(fit.function_name().trimmed()); }
    // Parameter name of 1-based slot, all 10 characters.
    std::string param(int slot) const { return fit.param_name(slot - 1).str(); }

    void points(std::initializer_list<std::array<float, 2>> xy) {
        data.count = 0;
        for (const auto& pt : xy) {
            data.X[static_cast<std::size_t>(data.count)] = pt[0];
            data.Y[static_cast<std::size_t>(data.count)] = pt[1];
            ++data.count;
        }
    }
};

} // namespace tarva::testing
