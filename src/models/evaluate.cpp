// The evaluator: the 10**X argument, the catalogue's routine, and the
// log10 and square-root options of the result.
#include "models/evaluate.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "models/catalogue.h"
#include "models/functions.h"

namespace tarva {

using namespace model_functions;

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

    const CatalogueRow* row = catalogue_row(function);
    if (fit.nparams > kMaxParams && row && row->caps_count) fit.nparams = kMaxParams;
    fit.note_names(NameKey{function, fit.nparams, name_variant(row, a)});
    // Slots beyond the 50 of the vector do not exist, whatever the count says.
    const int n = std::min(fit.nparams, kMaxParams);

    double v = (row && row->value) ? row->value(m, n, a, x) : 0.0; // plotting styles and unused numbers: 0

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
