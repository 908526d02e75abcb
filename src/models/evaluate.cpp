// The evaluator: the 10**X argument, dispatch over the catalogue, and the
// log10 and square-root options of the result.
#include "models/evaluate.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "models/functions.h"

namespace tarva {

namespace {

using namespace model_functions;

// The code of the name variant a parameter value chooses.
int name_variant(int function, Params a) {
    switch (function) {
    case 3:
    case 16:
    case 17: return round_nearest(a(6)) == 1 ? 1 : 0;
    case 30: return round_nearest(a(10)) == 1 ? 1 : 0;
    case 4: {
        int order = round_nearest(a(7));
        return (order == 2 || order == 5) ? order : 0;
    }
    default: return 0;
    }
}

double dispatch(const ModelInputs& m, int function, int n, Params a, float x) {
    switch (function) {
    case 1: return fermi(a, x);
    case 2: return polynomial(a, n, x);
    case 3: return error_function_top_slope(a, x);
    case 4: return grid_shadow(a, x);
    case 6: return multi_linear(a, x);
    case 7: return poly_exp_poly(a, n, x);
    case 8: return linear_interpolation(m.data, x);
    case 10: return root_inverse_poly(a, x);
    case 11: return cubic_spline(a, m.data, m.tables, x);
    case 14: return tanh_step(a, x);
    case 15: return legendre_series(a, n, x);
    case 16: return error_function(a, x);
    case 17: return cylinder(a, x);
    case 18: return linear_gaussians(a, n, x);
    case 19: return channeling(a, n, x);
    case 20: return three_exponentials(a, x);
    case 21: return breit_wigner(a, n, x);
    case 22: return pole(a, x);
    case 23: return inverse_sqrt(a, x);
    case 24: return square_root(a, x);
    case 25: return inverse_tanh(a, x);
    case 26: return bessel_series(a, x);
    case 27: return dual_error_function(a, x);
    case 28: return two_exponentials(a, x);
    case 29: return sine_cosine(a, n, x);
    case 30: return error_function_gaussian(a, n, x);
    case 31: return circle_cap(a, x);
    case 32: return drift(a, x);
    case 33: return hyperbola(a, x);
    case 34: return diode(a, n, x);
    case 35: return log_characteristic(a, n, x);
    default: return 0.0; // plotting styles 5, 9, 12, 13 and unused numbers
    }
}

} // namespace

double evaluate(ModelInputs& m, std::span<const double> p, float x) {
    std::array<double, kMaxParams> padded;
    const double* values = p.data();
    if (p.size() < static_cast<std::size_t>(kMaxParams)) {
        padded.fill(0.0);
        std::copy(p.begin(), p.end(), padded.begin());
        values = padded.data();
    }
    const Params a{values};
    FitState& fit = m.fit;
    const int function = fit.function;

    if (fit.exp_argument != 0) x = (x == 0.0f) ? 1.0f : to_single(std::pow(10.0, static_cast<double>(x)));

    if (fit.nparams > kMaxParams && (function == 18 || function == 19 || function == 21 || function == 30))
        fit.nparams = kMaxParams;
    fit.note_names(NameKey{function, fit.nparams, name_variant(function, a)});
    // Slots beyond the 50 of the vector do not exist, whatever the count says.
    const int n = std::min(fit.nparams, kMaxParams);

    double v = dispatch(m, function, n, a, x);

    if (fit.log_result != 0 && v != 0.0) v = std::log10(std::abs(v));
    if (fit.sqrt_result != 0) v = std::sqrt(std::abs(v));
    return v;
}

void select_function(ModelInputs& m, int n) {
    m.fit.function = n;
    (void)evaluate(m, m.fit.value, 0.0f);
}

void list_catalogue(ModelInputs& m, const std::function<void(int, const FixedText<50>&)>& entry) {
    const int previous = m.fit.function;
    for (int k = 1; k <= kMaxParams + 1; ++k) {
        m.fit.function = k;
        (void)evaluate(m, m.fit.value, 0.0f);
        const FixedText<50>& name = m.fit.function_name();
        entry(k, name);
        if (name.view().substr(0, 6) == "Unused") break;
    }
    m.fit.function = previous;
}

} // namespace tarva
