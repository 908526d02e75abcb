// Natural cubic spline through the data set (model function 11).
#pragma once

#include "dataset/data_set.h"
#include "io/output_sink.h"
#include "models/model_tables.h"

namespace tarva {

// Natural spline coefficients (second derivative 0 at both ends) of the data
// set's points into set 1 of the tables, in single precision. Two equal
// neighbouring X values stop it with "Identical x-values encountered at
// point " and the point, leaving the tables partly filled: false then.
bool compute_spline(const DataSet& data, ModelTables& tables, OutputSink& out);

} // namespace tarva
