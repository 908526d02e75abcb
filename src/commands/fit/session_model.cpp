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

void record_last_fit(Session& s, bool converging, bool converged, std::string stop, int iterations, int points,
                     double reduced_chi_square, const bool* determined) {
    LastFit& r = s.fit.last_fit;
    r.done = true;
    r.converging = converging;
    r.converged = converged;
    r.stop = std::move(stop);
    r.function = s.fit.function;
    r.nparams = std::clamp(s.fit.nparams, 0, kMaxParams);
    r.iterations = iterations;
    r.points = points;
    r.reduced_chi_square = reduced_chi_square;
    for (int k = 0; k < kMaxParams; ++k) {
        const bool in = k < r.nparams;
        r.names[k] = in ? s.fit.param_name(k).view() : std::string_view();
        r.value[k] = in ? s.fit.value[k] : 0.0;
        r.varied[k] = in && s.fit.mask[k] != 0;
        r.error[k] = r.varied[k] ? s.fit.error[k] : 0.0;
        r.error_determined[k] = r.varied[k] && (!determined || determined[k]);
    }
}

} // namespace tarva
