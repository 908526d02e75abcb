// SPLINE: the natural cubic spline through the data points made the current
// model function (function 11).
#include "commands/commands.h"
#include "models/spline.h"

namespace tarva {

namespace {

void spline_data_set(Session& s) {
    const int n_points = s.data.count > kMaxPoints ? kMaxPoints : (s.data.count < 0 ? 0 : s.data.count);
    s.fit.set_function_name("Cubic spline interp. for ASCENDING X data points");
    for (SplineSlot& slot : s.models.slots) slot = SplineSlot{1, n_points};
    s.fit.function = 11;
    (void)compute_spline(s.data, s.models, s.out());
    s.fit.value[0] = 1.0;
    s.fit.set_param_name(0, "St. spline");
    s.fit.value[1] = 1.0;
    s.fit.set_param_name(1, "Fi. spline");
    s.fit.nparams = 2;
}

} // namespace

void cmd_spline(Session& s, CommandContext&) { spline_data_set(s); }

} // namespace tarva
