// The current model at one abscissa.
#pragma once

#include <functional>
#include <span>

#include "dataset/data_set.h"
#include "models/fit_state.h"
#include "models/model_tables.h"

namespace tarva {

// Everything a model function may read besides its parameters.
struct ModelInputs {
    FitState& fit;       // function number, parameter count, transform flags, names
    const DataSet& data; // interpolating functions read the data set
    const ModelTables& tables;
};

// Value of the current function (fit.function) at x for the parameter
// vector p (normally 50 slots: the fit state's own values or a working copy;
// a shorter vector reads as padded with zeros). Applies the 10**X, log10 and
// square-root options of the fit state. Never fails: singular points give
// fixed values, numbers outside the catalogue give 0.
//
// Side effects, as every evaluation has them: the function name and the
// parameter names of the current function become those that
// fit.function_name() / fit.param_name(i) return, and functions 18, 19, 21
// and 30 lower a parameter count above 50 to 50. The names cost nothing per
// call: they are written only when read, so evaluate may run in a fit's
// innermost loop.
double evaluate(ModelInputs& m, std::span<const double> p, float x);

// Makes n the current function and evaluates it once at 0 with the fit
// state's own values, so its names can be read.
void select_function(ModelInputs& m, int n);

// The catalogue listing: for k = 1, 2, ... makes k the current function,
// evaluates it at 0 and hands k and its name to `entry`; stops after the
// first name that begins "Unused" (function 36) and then restores the
// function number that was current (without evaluating it again).
void list_catalogue(ModelInputs& m, const std::function<void(int, const FixedText<50>&)>& entry);

} // namespace tarva
