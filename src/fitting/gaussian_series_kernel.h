// The fast point kernel of function 18 (a straight line plus up to sixteen
// Gaussian peaks).
//
// The model is a sum: the line, then each peak term in turn. At one point
// the kernel computes every term once and keeps the partial sums; the
// derivative with respect to a parameter then recomputes only the term that
// parameter enters and re-adds the later terms in the original order, so
// every sum rounds exactly as a full evaluation would. A term that does not
// change under the perturbation gives the unperturbed value itself, and a
// peak whose exponent is far below the underflow limit is known to be 0
// without calling exp.
#pragma once

#include "fitting/point_kernel.h"

namespace tarva {

struct GaussianSeries {
    int nparams = 0;     // parameter count as the function reads it (1..50)
    int log_result = 0;  // log10 of the result
    int sqrt_result = 0; // square root of the result
    bool operator==(const GaussianSeries&) const = default;
};

// A kernel for the given series; `series` must outlive the kernel's use.
PointKernel gaussian_series_kernel(const GaussianSeries& series);

} // namespace tarva
