// The current model at one abscissa.
#pragma once

#include <span>

#include "dataset/data_set.h"
#include "models/fit_state.h"
#include "models/model_tables.h"

namespace tarva {

// Everything a model function may read besides its parameters.
struct ModelInputs {
    FitState& fit;            // function number, parameter count, transform flags, names
    const DataSet& data;      // interpolating functions read the data set
    const ModelTables& tables;
};

// Value of the current function at x for the 50-slot parameter vector p.
double evaluate(ModelInputs& m, std::span<const double> p, float x);

} // namespace tarva
