#include "commands/fit/session_model.h"

#include <algorithm>

namespace tarva {

SessionModel::SessionModel(Session& s) : session_(s), inputs_{s.fit, s.data, s.models} {}

SessionModel::~SessionModel() {
    forget_kept_terms(session_.engine(), &series_);
    forget_kept_terms(session_.engine(), &terms_);
}

ModelRef SessionModel::ref() {
    ModelRef r(*this);
    const FitState& f = session_.fit;
    if (f.exp_argument != 0) return r;
    const bool gaussians = f.function == 18 && f.nparams >= 1;
    if (!gaussians && !has_term_series_kernel(f.function, std::min(f.nparams, kMaxParams))) return r;
    // The kernels never call the evaluator: one call here notes the names a
    // fit reports afterwards (and lowers a count above 50 as the functions do).
    (*this)(std::span<const double>(session_.fit.value), 0.0f);
    const int n = std::min(f.nparams, kMaxParams);
    // A kernel whose settings change no longer owns what the engine kept.
    if (gaussians) {
        const GaussianSeries g{n, f.log_result, f.sqrt_result};
        if (!(g == series_)) forget_kept_terms(session_.engine(), &series_);
        series_ = g;
        kernel_ = gaussian_series_kernel(series_);
    } else {
        const TermSeries t{f.function, n, f.log_result, f.sqrt_result};
        if (!(t == terms_)) forget_kept_terms(session_.engine(), &terms_);
        terms_ = t;
        kernel_ = term_series_kernel(terms_);
    }
    r.kernel = &kernel_;
    return r;
}

EngineInputs SessionModel::engine_inputs() {
    Session& s = session_;
    return EngineInputs{std::span<const float>(s.data.X),
                        std::span<const float>(s.data.Y),
                        std::span<const float>(s.data.SIGMA),
                        s.fit.mode,
                        s.data.count,
                        ref(),
                        std::span<const double>(s.fit.value),
                        s.fit.nparams,
                        std::span<const int>(s.fit.mask)};
}

} // namespace tarva
