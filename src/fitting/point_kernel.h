// Fast evaluation of the model and its forward-difference derivatives at
// many points at once, for models whose structure allows it.
//
// A kernel must produce exactly the numbers the plain loop of the engine
// produces with the model (same value, same perturbed value, same quotient,
// bit for bit); it only finds them faster. Different point ranges may be run
// at the same time from different threads, so a kernel writes nothing but
// the entries of its own range.
#pragma once

#include "fitting/engine_state.h"

namespace tarva {

struct PointKernel {
    // Fills e.model[i] for begin <= i < end and, when `derivs` is set,
    // e.point_deriv[i][p] for the varied parameters e.varied[0..e.nvaried).
    // A pass of values may keep what it likes in e.point_terms[i] (the
    // engine then records the parameters it was run with); a derivative pass
    // may use those entries when terms_kept_for() says they are its own.
    void (*run)(const PointKernel& self, EngineState& e, int begin, int end, bool derivs) = nullptr;
    const void* context = nullptr;
};

// Whether e.point_terms were kept by this kernel at exactly the parameters a.
bool terms_kept_for(const PointKernel& k, const EngineState& e, const double* a);

} // namespace tarva
