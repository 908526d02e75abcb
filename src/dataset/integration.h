// The numbers INTEG prints: the trapezoid area under the data between two
// limits with its error, and the sum of the Y values in that range.
#pragma once

#include "dataset/data_set.h"

namespace tarva {

struct DataIntegral {
    double area = 0.0;      // trapezoid rule, partial intervals at the ends
    double error = 0.0;     // sqrt of the same rule applied to SIGMA squared
    double sum = 0.0;       // Y summed over the points within the limits
    double sum_error = 0.0; // sqrt of SIGMA squared summed over those points
};

// Integrates the points (expected in ascending X) from a to b (a <= b).
// Limits that lie wholly beside the data, or a range no point reaches,
// give zeros.
DataIntegral integrate_data(const DataSet& data, double a, double b);

} // namespace tarva
