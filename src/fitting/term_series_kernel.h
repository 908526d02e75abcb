// The fast point kernel of the models that are a start value with terms
// added to it one by one: function 2 (a polynomial), 19 (a line and two
// flat-topped Gaussians), 21 (a line and up to sixteen Breit-Wigner, that
// is Lorentzian, peaks) and 30 (a line, a Gaussian and an error-function
// edge).
//
// At one point the kernel forms the start value and every term once and
// keeps the partial sums. The derivative with respect to a parameter forms
// again only what that parameter enters (the start value, or its one term;
// everything for the polynomial's shift and function 30's common width) and
// re-adds the later terms in the original order, so every sum rounds
// exactly as a full evaluation would. A term that comes out as before, or a
// partial sum that does, gives the unperturbed value itself.
#pragma once

#include "fitting/point_kernel.h"

namespace tarva {

struct TermSeries {
    int function = 0;    // 2, 19, 21 or 30
    int nparams = 0;     // parameter count as the function reads it (at most 50)
    int log_result = 0;  // log10 of the result
    int sqrt_result = 0; // square root of the result
    bool operator==(const TermSeries&) const = default;
};

// Whether the kernel serves this function with this parameter count.
bool has_term_series_kernel(int function, int nparams);

// A kernel for the given series; `series` must outlive the kernel's use.
PointKernel term_series_kernel(const TermSeries& series);

} // namespace tarva
