#include "fitting/converging_fit.h"

#include <gsl/gsl_blas.h>
#include <gsl/gsl_errno.h>
#include <gsl/gsl_linalg.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <memory>
#include <string>

#include "fitting/converging_fit_parts.h"
#include "fitting/parallel.h"
#include "text/fixed_text.h"
#include "text/format.h"

namespace tarva {

namespace {

using converging::JacobianPlan;

// The minimiser is a Levenberg-Marquardt iteration of its own on top of
// GSL's linear algebra. GSL's trust-region driver decides whether a step
// lowered the chi-square by comparing the norms of two residual vectors,
// which near the optimum of a problem with large residuals is a comparison
// of rounding noise (it wanders off from an optimum it starts at), and its
// stopping tests cannot be replaced; here the change of the chi-square is
// formed from the residuals themselves and the stop is the fit's own.

// Damping: lambda multiplies the squared column scales D^2 (Moré's scaling:
// the largest norm each column of the Jacobian has had, with a floor
// relative to the parameter's magnitude; see take_jacobian). It starts small,
// so a good start takes nearly Gauss-Newton steps, and follows Nielsen's
// rule: after a step whose chi-square fell by a fraction rho of the
// predicted fall, lambda *= max(1/3, 1 - (2 rho - 1)^3); after a rejected
// step it is multiplied by 2, 4, 8, ...
constexpr double kInitialDamping = 1e-3;
// The scales have a floor (see take_jacobian): a step that moves a
// parameter by its own magnitude is damped at least like one along a
// column whose norm is this fraction of the residual norm.
constexpr double kDampingFloor = 0.1;
constexpr double kMostDamping = 1e300;

// Residual given to a point whose model value is not a finite number: the
// step that led there is rejected.
constexpr double kBadResidual = 1e100;

// GSL reports errors through a handler that aborts by default; here every
// call's status is checked instead. The old handler is put back afterwards.
class GslErrorsReturned {
public:
    GslErrorsReturned() : old_(gsl_set_error_handler_off()) {}
    ~GslErrorsReturned() { gsl_set_error_handler(old_); }
    GslErrorsReturned(const GslErrorsReturned&) = delete;
    GslErrorsReturned& operator=(const GslErrorsReturned&) = delete;

private:
    gsl_error_handler_t* old_;
};

struct GslFree {
    void operator()(gsl_vector* v) const { gsl_vector_free(v); }
    void operator()(gsl_matrix* m) const { gsl_matrix_free(m); }
    void operator()(gsl_permutation* p) const { gsl_permutation_free(p); }
};
template <class T>
using GslPtr = std::unique_ptr<T, GslFree>;

int weighting_mode(int mode) { return mode - 10 * (mode / 10); }

// Sets the no-error-bars flag as a fit does: unit weights in modes 1 and 3
// when no SIGMA exceeds 1e-15.
bool scan_error_bars(EngineState& e) {
    bool any = false;
    for (int i = 0; i < e.npoints; ++i)
        if (e.sigma[i] > 1e-15) any = true;
    e.no_error_bars = any ? 0 : 1;
    return any;
}

std::string trimmed_g(double v) { return std::string(trim(format_G(v, 13, 5, 1))); }

// A bounded parameter is fitted through an internal variable u that may
// take any value, mapped into the bounds smoothly (the transforms of MINUIT
// and lmfit): with both bounds x = low + (high - low) (sin u + 1) / 2; with
// one, x = low - s + sqrt(u^2 + s^2) (or high + s - sqrt(u^2 + s^2)), where
// s is the start's distance from the bound, so the map starts with a slope
// near 1 in the parameter's own units.
struct Transform {
    enum class Kind { none, low, high, both } kind = Kind::none;
    double low = 0.0, high = 0.0, s = 1.0;

    double external(double u) const {
        switch (kind) {
        case Kind::none: return u;
        case Kind::low: return low - s + std::sqrt(u * u + s * s);
        case Kind::high: return high + s - std::sqrt(u * u + s * s);
        case Kind::both: return std::clamp(low + (high - low) * (std::sin(u) + 1.0) / 2.0, low, high);
        }
        return u;
    }
    double slope(double u) const {
        switch (kind) {
        case Kind::none: return 1.0;
        case Kind::low: return u / std::sqrt(u * u + s * s);
        case Kind::high: return -u / std::sqrt(u * u + s * s);
        case Kind::both: return (high - low) / 2.0 * std::cos(u);
        }
        return 1.0;
    }
    // The internal value of x; a start on a bound, where the slope is 0 and
    // the fit could not move it, is taken a little way inside.
    double internal(double x) const {
        switch (kind) {
        case Kind::none: return x;
        case Kind::low: {
            const double d = x - low + s;
            return std::max(std::sqrt(std::max(d * d - s * s, 0.0)), 0.1 * s);
        }
        case Kind::high: {
            const double d = high - x + s;
            return std::max(std::sqrt(std::max(d * d - s * s, 0.0)), 0.1 * s);
        }
        case Kind::both: {
            const double r = std::clamp(2.0 * (x - low) / (high - low) - 1.0, -1.0, 1.0);
            return std::clamp(std::asin(r), -M_PI / 2 + 0.1, M_PI / 2 - 0.1);
        }
        }
        return x;
    }
};

Transform make_transform(const ParameterBounds& b, double x0, double typical) {
    Transform t;
    const bool lo = std::isfinite(b.low), hi = std::isfinite(b.high);
    t.low = b.low;
    t.high = b.high;
    if (lo && hi) {
        t.kind = Transform::Kind::both;
    } else if (lo || hi) {
        t.kind = lo ? Transform::Kind::low : Transform::Kind::high;
        const double d = std::fabs(x0 - (lo ? b.low : b.high));
        t.s = d > 0.0 ? d : typical > 0.0 ? typical : std::max(std::fabs(x0), 1.0);
    }
    return t;
}

// The checks of the inputs before the minimiser is set up, each failure
// with its one message.
bool can_start(EngineState& e, OutputSink& out, std::span<const ParameterBounds> bounds) {
    if (e.npoints <= 0) {
        out.line("NO DATA! ");
        return false;
    }
    select_varied(e);
    if (e.nvaried == 0) {
        out.line("No parameters active, can't fit!");
        return false;
    }
    if (!fixed_weights(e.weight_mode)) {
        out.line("FIT/C fits with fixed weights only (modes 1 and 4); mode " + std::to_string(e.weight_mode) +
                 " weights by the function or scales it.");
        return false;
    }
    if (e.npoints <= e.nvaried) {
        out.line("Too few data points for meaningful fit! FIT/C needs more points than the " +
                 std::to_string(e.nvaried) + " active parameters.");
        return false;
    }
    for (int p = 0; p < e.nvaried; ++p) {
        const int k = e.varied[p];
        if (k >= static_cast<int>(bounds.size()) || bounds[k].holds(e.a[k])) continue;
        const ParameterBounds& b = bounds[k];
        out.line("Parameter " + std::to_string(k + 1) + " = " + trimmed_g(e.a[k]) + " is outside its bounds (" +
                 (std::isfinite(b.low) ? trimmed_g(b.low) : "none") + " to " +
                 (std::isfinite(b.high) ? trimmed_g(b.high) : "none") +
                 "): change it with PARAM or PARAM/L, can't fit!");
        return false;
    }
    return true;
}

// Whether the model values (and the derivatives) of every point are finite
// numbers; if not, says where.
bool all_finite(const EngineState& e, OutputSink& out, bool derivatives) {
    for (int i = 0; i < e.npoints; ++i) {
        bool finite = std::isfinite(e.model[i]);
        for (int p = 0; derivatives && p < e.nvaried; ++p) finite = finite && std::isfinite(e.point_deriv[i][p]);
        if (!finite) {
            out.line("The function is not finite at X = " + trimmed_g(e.x[i]) + ", can't fit!");
            return false;
        }
    }
    return true;
}

// Every varied parameter must change the model somewhere.
bool depends_on_all(const EngineState& e, OutputSink& out) {
    for (int p = 0; p < e.nvaried; ++p) {
        bool depends = false;
        for (int i = 0; i < e.npoints && !depends; ++i) depends = e.point_deriv[i][p] != 0.0;
        if (!depends) {
            out.line("The function does not depend on parameter " + std::to_string(e.varied[p] + 1) +
                     " here: fix it with MASK or change its value, can't fit!");
            return false;
        }
    }
    return true;
}

void print_iteration(OutputSink& out, int iteration, int mode, double chi) {
    const int width = iteration > 999 ? static_cast<int>(std::to_string(iteration).size()) : 3;
    out.line("Iteration " + format_I(iteration, width) + "  mode " + format_I(mode, 1) +
             "  chi-sq = " + format_G(chi, 12, 5, 1));
}

std::string gsl_words(int status) { return std::string(" (GSL: ") + gsl_strerror(status) + ")"; }

// The state of one fit to convergence.
class Minimiser {
public:
    Minimiser(EngineState& e, OutputSink& out, ModelRef model) : e_(e), out_(out), model_(model) {}

    // Allocates, plans the derivatives and takes the first Jacobian; false
    // (after a message) when the fit cannot start.
    bool start(std::span<const ParameterBounds> bounds);
    ConvergingStop run(int max_iterations, StopQuery stop, int& iterations);
    double chi_square() const { return chi_; }
    void finish(ConvergingFitResult& r);

private:
    void set_parameters(const double* u);
    double residuals(double* f, double* m);
    double residuals_of_values(double* f, double* m);
    bool take_jacobian();
    bool solve(double lambda, double* dx);
    bool factorise_jacobian();
    bool well_conditioned();
    bool accelerate(const double* v, double* dx);
    // The Gauss-Newton step into gn_ (gn_ok_: the Jacobian has full rank),
    // and whether it is below the tolerances.
    bool gauss_newton_negligible();
    double relative_size(const double* u_from, const double* du) const;
    bool negligible(const double* u_from, const double* du) const;

    EngineState& e_;
    OutputSink& out_;
    ModelRef model_;
    JacobianPlan plan_;
    int n_ = 0, p_ = 0;
    bool small_ = false;
    std::array<double, kEngineDerivPoints> weight_{};
    std::array<Transform, kEngineParams> tr_{};
    std::array<double, kEngineParams> u_{}, g_{}, d2_{}, gn_{}, colnorm_{};
    // Moré's part of the scales D^2 (the largest squared column norms so
    // far), and the scale of each parameter at the start (max of its
    // magnitude and its typical magnitude) for their floor.
    std::array<double, kEngineParams> more_{}, scale0_{};
    std::array<double, kEngineParams> u_jacobian_{}; // where the last Jacobian was taken
    bool gn_ok_ = false;
    double previous_gn_size_ = 0.0; // of the Gauss-Newton step one iteration before
    std::array<double, kEngineDerivPoints> f_{}, m_{}, ft_{}, mt_{};
    double chi_ = 0.0;
    // J'J of the weighted Jacobian and its damped copy, factorised by
    // solve() (modified_: by the modified Cholesky factorisation).
    GslPtr<gsl_matrix> jtj_, damped_;
    GslPtr<gsl_vector> mdiag_, rhs_, sol_;
    GslPtr<gsl_permutation> perm_;
    bool modified_ = false;
    // Small problems: the weighted Jacobian itself, QR-factorised.
    GslPtr<gsl_matrix> jac_;
    GslPtr<gsl_vector> tau_, qtf_;
    bool qr_done_ = false;
};

void Minimiser::set_parameters(const double* u) {
    for (int k = 0; k < p_; ++k) e_.a[e_.varied[k]] = tr_[k].external(u[k]);
}

// Residuals (model - Y) / sqrt(variance) into f and model values into m at
// the working copy's parameters; returns the chi-square (sum of squares).
double Minimiser::residuals(double* f, double* m) {
    converging::fit_values(e_, model_);
    return residuals_of_values(f, m);
}

// The same from the model values in e.model as they stand.
double Minimiser::residuals_of_values(double* f, double* m) {
    double sum = 0.0;
    for (int i = 0; i < n_; ++i) {
        double r = (e_.model[i] - static_cast<double>(e_.y[i])) * weight_[i];
        if (!std::isfinite(r)) r = kBadResidual;
        f[i] = r;
        m[i] = e_.model[i];
        sum += r * r;
    }
    return sum;
}

bool Minimiser::start(std::span<const ParameterBounds> bounds) {
    n_ = e_.npoints;
    p_ = e_.nvaried;
    small_ = n_ * p_ <= converging::kSmallProblem;
    const auto n = static_cast<std::size_t>(n_), p = static_cast<std::size_t>(p_);
    jtj_.reset(gsl_matrix_alloc(p, p));
    damped_.reset(gsl_matrix_alloc(p, p));
    mdiag_.reset(gsl_vector_alloc(p));
    rhs_.reset(gsl_vector_alloc(p));
    sol_.reset(gsl_vector_alloc(p));
    perm_.reset(gsl_permutation_alloc(p));
    bool allocated = jtj_ && damped_ && mdiag_ && rhs_ && sol_ && perm_;
    if (small_) {
        jac_.reset(gsl_matrix_alloc(n, p));
        tau_.reset(gsl_vector_alloc(p));
        qtf_.reset(gsl_vector_alloc(n));
        allocated = allocated && jac_ && tau_ && qtf_;
    }
    if (!allocated) {
        out_.line("Not enough memory for the fit, can't fit!");
        return false;
    }
    converging::fit_values(e_, model_);
    if (!all_finite(e_, out_, false)) return false;
    converging::fit_weights(e_, weight_);
    converging::plan_jacobian(e_, model_, plan_);
    if (!all_finite(e_, out_, true) || !depends_on_all(e_, out_)) return false;
    for (int k = 0; k < p_; ++k) {
        const int slot = e_.varied[k];
        tr_[k] = slot < static_cast<int>(bounds.size()) ? make_transform(bounds[slot], e_.a[slot], plan_.typical[k])
                                                        : Transform{};
        u_[k] = tr_[k].internal(e_.a[slot]);
        scale0_[k] = std::max(std::fabs(e_.a[slot]), plan_.typical[k]);
    }
    // A start on a bound was moved inside (or the transform's rounding
    // moved it): its values and derivatives anew. Otherwise the last pass
    // of the plan left them.
    bool moved = false;
    for (int k = 0; k < p_; ++k) moved = moved || tr_[k].external(u_[k]) != e_.a[e_.varied[k]];
    if (moved) {
        set_parameters(u_.data());
        converging::precise_jacobian(e_, model_, plan_);
    }
    chi_ = residuals_of_values(f_.data(), m_.data());
    more_.fill(0.0);
    return take_jacobian();
}

// Forms the weighted Jacobian by the internal variables from the precise
// derivatives at the current parameters (already in e.point_deriv): J'J
// and the gradient J'f, summed from the entries of each row that are not
// zero (a peak's derivatives vanish away from it, and the Gaussian kernel
// leaves out the negligible ones, so in a spectrum of many peaks most
// entries of a row are passed over), the gradient in extended
// precision (at the optimum of a problem with large residuals its terms
// are large and cancel, and the last steps are only as good as it is).
// A small problem also keeps J itself, QR-factorised. Updates the scales D.
bool Minimiser::take_jacobian() {
    u_jacobian_ = u_;
    std::array<double, kEngineParams> slope{};
    for (int k = 0; k < p_; ++k) slope[k] = tr_[k].slope(u_[k]);
    double* jtj = jtj_->data;
    const auto tda = jtj_->tda;
    std::fill_n(jtj, p_ * tda, 0.0);
    std::array<long double, kEngineParams> g{};
    std::array<double, kEngineParams> row{};
    std::array<int, kEngineParams> nz{};
    for (int i = 0; i < n_; ++i) {
        int m = 0;
        const auto& d = e_.point_deriv[i];
        const double w = weight_[i];
        if (plan_.lists && e_.nonzero_count[i] == p_) {
            // Every column: the row as it is (not finite entries count as
            // 0; one test of the row's sum finds them).
            m = p_;
            double check = 0.0;
            for (int k = 0; k < p_; ++k) {
                row[k] = d[k] * w * slope[k];
                check += row[k] * 0.0;
                nz[k] = k;
            }
            if (!std::isfinite(check))
                for (int k = 0; k < p_; ++k) row[k] = std::isfinite(row[k]) ? row[k] : 0.0;
            if (small_) std::copy_n(row.begin(), p_, jac_->data + static_cast<std::size_t>(i) * jac_->tda);
        } else if (plan_.lists) {
            // The kernel listed the columns it wrote.
            m = e_.nonzero_count[i];
            for (int s = 0; s < m; ++s) {
                const int k = e_.nonzero[i][s];
                const double v = d[k] * w * slope[k];
                row[k] = std::isfinite(v) ? v : 0.0;
                nz[s] = k;
            }
            if (small_) {
                double* jrow = jac_->data + static_cast<std::size_t>(i) * jac_->tda;
                std::fill_n(jrow, p_, 0.0);
                for (int s = 0; s < m; ++s) jrow[nz[s]] = row[nz[s]];
            }
        } else {
            // Listed without a branch: which entries are zero is no
            // pattern a processor could predict.
            for (int k = 0; k < p_; ++k) {
                double v = d[k] * w * slope[k];
                if (!std::isfinite(v)) v = 0.0;
                row[k] = v;
                nz[m] = k;
                m += v != 0.0 ? 1 : 0;
            }
            if (small_) std::copy_n(row.begin(), p_, jac_->data + static_cast<std::size_t>(i) * jac_->tda);
        }
        const long double fi = f_[i];
        if (m == p_) {
            for (int a = 0; a < p_; ++a) {
                const double va = row[a];
                g[a] += va * fi;
                double* jrow = jtj + a * tda;
                for (int b = a; b < p_; ++b) jrow[b] += va * row[b];
            }
            continue;
        }
        for (int s = 0; s < m; ++s) {
            const int a = nz[s];
            const double va = row[a];
            g[a] += va * fi;
            double* jrow = jtj + a * tda;
            for (int t = s; t < m; ++t) jrow[nz[t]] += va * row[nz[t]];
        }
    }
    for (int a = 0; a < p_; ++a) {
        g_[a] = static_cast<double>(g[a]);
        const double sq = jtj[a * tda + a];
        colnorm_[a] = std::sqrt(sq);
        more_[a] = std::max(more_[a], sq > 0.0 ? sq : 1.0);
        // The floor of the scale: moving a parameter by its own magnitude
        // max(|p|, its scale at the start) is damped at least as much as a
        // column carrying kDampingFloor of the residual norm would be. A
        // parameter the model hardly depends on here (the rate of an
        // exponential that has died out at every point but one) has a
        // column near 0, and without the floor the damping would not hold
        // it back at all: one step sends it off to where the model no
        // longer depends on it, a flat plain the fit cannot leave. Near the
        // optimum the columns exceed the floor and the steps are Moré's.
        const double x = tr_[a].external(u_[a]);
        const double size = std::max(std::fabs(x), scale0_[a]);
        const double floor = size > 0.0 ? kDampingFloor * std::sqrt(chi_) * std::fabs(slope[a]) / size : 0.0;
        d2_[a] = std::isfinite(floor) ? std::max(more_[a], floor * floor) : more_[a];
        for (int b = a + 1; b < p_; ++b) jtj[b * tda + a] = jtj[a * tda + b];
    }
    qr_done_ = false;
    return true;
}

// QR of the small problem's Jacobian, made when a step first needs it.
bool Minimiser::factorise_jacobian() {
    if (qr_done_) return true;
    const int status = gsl_linalg_QR_decomp(jac_.get(), tau_.get());
    if (status != GSL_SUCCESS) {
        out_.line("The QR factorisation of the Jacobian failed" + gsl_words(status) + ".");
        return false;
    }
    qr_done_ = true;
    return true;
}

// Whether J'J scaled to a unit diagonal is far from singular (its Cholesky
// pivots above 1e-8, the scaled Jacobian's condition below about 1e4):
// then the normal equations lose nothing a step needs and a small problem
// can do without the QR factorisation of its Jacobian.
bool Minimiser::well_conditioned() {
    const auto p = static_cast<std::size_t>(p_);
    for (std::size_t a = 0; a < p; ++a)
        for (std::size_t b = 0; b < p; ++b) {
            const double d = colnorm_[a] * colnorm_[b];
            gsl_matrix_set(damped_.get(), a, b, d > 0.0 ? gsl_matrix_get(jtj_.get(), a, b) / d : 0.0);
        }
    if (gsl_linalg_cholesky_decomp1(damped_.get()) != GSL_SUCCESS) return false;
    for (std::size_t k = 0; k < p; ++k)
        if (!(gsl_matrix_get(damped_.get(), k, k) > 1e-4)) return false;
    return true;
}

// The step dx of the damped problem min |J dx + f|^2 + lambda |D dx|^2
// from the normal equations (J'J + lambda D^2) dx = -J'f by Cholesky
// factorisation (a modified one where rounding leaves the matrix not quite
// positive definite); the factor stays for accelerate(). Lambda 0 gives
// the Gauss-Newton step, false where J is rank-deficient.
bool Minimiser::solve(double lambda, double* dx) {
    const auto p = static_cast<std::size_t>(p_);
    for (std::size_t k = 0; k < p; ++k) gsl_vector_set(rhs_.get(), k, -g_[k]);
    if (lambda == 0.0 && small_ && !well_conditioned()) {
        // An ill-conditioned small problem: R dx = -Q'f from QR(J), the
        // accuracy of the Jacobian itself. (Where the problem is well
        // conditioned the normal equations serve as well, and their
        // gradient, summed in extended precision, carries none of the
        // rounding that Q'f has when the residuals are large.) A column
        // whose R diagonal is below 1e-12 of its norm depends on the others.
        if (!factorise_jacobian()) return false;
        for (std::size_t k = 0; k < p; ++k)
            if (!(std::fabs(gsl_matrix_get(jac_.get(), k, k)) > 1e-12 * colnorm_[k])) return false;
        for (int i = 0; i < n_; ++i) gsl_vector_set(qtf_.get(), static_cast<std::size_t>(i), f_[i]);
        if (gsl_linalg_QR_QTvec(jac_.get(), tau_.get(), qtf_.get()) != GSL_SUCCESS) return false;
        for (std::size_t k = 0; k < p; ++k) gsl_vector_set(sol_.get(), k, -gsl_vector_get(qtf_.get(), k));
        gsl_matrix_const_view r = gsl_matrix_const_submatrix(jac_.get(), 0, 0, p, p);
        if (gsl_blas_dtrsv(CblasUpper, CblasNoTrans, CblasNonUnit, &r.matrix, sol_.get()) != GSL_SUCCESS) return false;
    } else {
        auto fill = [&] {
            gsl_matrix_memcpy(damped_.get(), jtj_.get());
            for (std::size_t k = 0; k < p; ++k) *gsl_matrix_ptr(damped_.get(), k, k) += lambda * d2_[k];
        };
        fill();
        modified_ = gsl_linalg_cholesky_decomp1(damped_.get()) != GSL_SUCCESS;
        int status = GSL_SUCCESS;
        if (!modified_) {
            status = gsl_linalg_cholesky_solve(damped_.get(), rhs_.get(), sol_.get());
        } else {
            if (lambda == 0.0) return false;
            fill();
            status = gsl_linalg_mcholesky_decomp(damped_.get(), perm_.get(), mdiag_.get());
            if (status == GSL_SUCCESS)
                status = gsl_linalg_mcholesky_solve(damped_.get(), perm_.get(), rhs_.get(), sol_.get());
        }
        if (status != GSL_SUCCESS) {
            if (lambda == 0.0) return false;
            out_.line("The damped normal equations could not be solved" + gsl_words(status) + ".");
            return false;
        }
    }
    for (std::size_t k = 0; k < p; ++k) {
        dx[k] = gsl_vector_get(sol_.get(), k);
        if (!std::isfinite(dx[k])) {
            if (lambda == 0.0) return false;
            out_.line("The step of the fit is not a finite number.");
            return false;
        }
    }
    return true;
}

// Geodesic acceleration (Transtrum and Sethna, as GSL's lmaccel; small
// problems only): the damped step v is the velocity along the path to the
// optimum, and its second-order correction a solves the same damped
// problem for the directional second derivative of the residuals,
// fvv = (2 / h) ((f(u + h v) - f(u)) / h - J v). The step is v + a / 2. An
// acceleration larger than 3/4 of the velocity (in the scaled norm) means
// the path curves too much for this step, which is then rejected like one
// that raised the chi-square. On problems whose valleys curve (an
// exponential, a peak started far away) this keeps the steps on the
// valley floor. Needs the factorisation solve() just made for v.
bool Minimiser::accelerate(const double* v, double* dx) {
    constexpr double kH = 0.02;
    constexpr double kMostRatio = 0.75;
    std::array<double, kEngineParams> ut{}, slope{}, jtfvv{};
    for (int k = 0; k < p_; ++k) {
        ut[k] = u_[k] + kH * v[k];
        slope[k] = tr_[k].slope(u_[k]);
    }
    set_parameters(ut.data());
    converging::fit_values(e_, model_);
    for (int i = 0; i < n_; ++i) {
        double jv = 0.0;
        for (int k = 0; k < p_; ++k) {
            const double d = e_.point_deriv[i][k] * weight_[i] * slope[k];
            if (std::isfinite(d)) jv += d * v[k];
        }
        const double fh = (e_.model[i] - static_cast<double>(e_.y[i])) * weight_[i];
        const double fvv = 2.0 / kH * ((fh - f_[i]) / kH - jv);
        if (!std::isfinite(fvv)) return false;
        // The right-hand side -J'fvv.
        for (int k = 0; k < p_; ++k) {
            const double d = e_.point_deriv[i][k] * weight_[i] * slope[k];
            if (std::isfinite(d)) jtfvv[k] -= d * fvv;
        }
    }
    const auto p = static_cast<std::size_t>(p_);
    for (std::size_t k = 0; k < p; ++k) gsl_vector_set(rhs_.get(), k, jtfvv[k]);
    const int status = modified_ ? gsl_linalg_mcholesky_solve(damped_.get(), perm_.get(), rhs_.get(), sol_.get())
                                 : gsl_linalg_cholesky_solve(damped_.get(), rhs_.get(), sol_.get());
    if (status != GSL_SUCCESS) return false;
    double aa = 0.0, vv = 0.0;
    for (std::size_t k = 0; k < p; ++k) {
        const double a = gsl_vector_get(sol_.get(), k);
        aa += d2_[k] * a * a;
        vv += d2_[k] * v[k] * v[k];
        dx[k] = v[k] + 0.5 * a;
    }
    return std::isfinite(aa) && std::sqrt(aa) <= kMostRatio * std::sqrt(vv);
}

// The largest change the step du from u makes to a parameter, relative to
// its magnitude (or typical magnitude, nearer 0).
double Minimiser::relative_size(const double* u, const double* du) const {
    double size = 0.0;
    for (int k = 0; k < p_; ++k) {
        const double x = tr_[k].external(u[k]);
        const double change = std::fabs(tr_[k].external(u[k] + du[k]) - x);
        const double scale = std::max(std::fabs(x), plan_.typical[k]);
        size = std::max(size, scale > 0.0 ? change / scale : change > 0.0 ? HUGE_VAL : 0.0);
        if (std::isnan(change)) size = HUGE_VAL;
    }
    return size;
}

// Whether the step du from u changes no parameter by more than the
// tolerance.
bool Minimiser::negligible(const double* u, const double* du) const {
    return relative_size(u, du) <= kParameterTolerance;
}

// The convergence test at the current parameters: the Gauss-Newton step
// (where the Jacobian has full rank) would change every parameter, and the
// chi-square by its predicted fall -g'dx, by less than the tolerances.
bool Minimiser::gauss_newton_negligible() {
    std::array<double, kEngineParams>& dx = gn_;
    gn_ok_ = solve(0.0, dx.data());
    if (!gn_ok_) return false;
    // Near the optimum each Gauss-Newton step is about a fixed fraction r
    // of the one before (r is small where the residuals are, larger on a
    // problem with large residuals); after this step about r / (1 - r) of
    // it remains, which must be below a tenth of the tolerance too.
    const double size = relative_size(u_.data(), dx.data());
    const double rate = previous_gn_size_ > 0.0 ? std::min(size / previous_gn_size_, 0.9) : 0.0;
    previous_gn_size_ = size;
    if (!(size <= kParameterTolerance) || !(size * rate / (1.0 - rate) <= 0.1 * kParameterTolerance)) return false;
    double fall = 0.0;
    for (int k = 0; k < p_; ++k) fall -= g_[k] * dx[k];
    return std::fabs(fall) <= kChiTolerance * chi_;
}

ConvergingStop Minimiser::run(int max_iterations, StopQuery stop, int& iterations) {
    double lambda = kInitialDamping, nu = 2.0;
    std::array<double, kEngineParams> dx{}, ut{};
    // After a step whose chi-square fell as the linearised problem said it
    // would, the next trial is the undamped (Gauss-Newton) step: near the
    // optimum the damping would otherwise slow the last iterations down to
    // a linear rate.
    bool trust_linear = false;
    bool last_tiny = false;
    const int mode = e_.weight_mode;
    const int dof = std::max(e_.npoints - active_mask_count(e_), 1);
    for (;;) {
        if (chi_ == 0.0) return ConvergingStop::ExactFit;
        const bool gn_negligible = gauss_newton_negligible();
        if (!gn_ok_ && last_tiny) return ConvergingStop::Converged;
        if (gn_negligible) {
            // The last step is taken as it stands: it moves no parameter
            // by more than the tolerance and lowers the chi-square by less
            // than its tolerance, so it needs no trial.
            for (int k = 0; k < p_; ++k) u_[k] += gn_[k];
            set_parameters(u_.data());
            chi_ = residuals(f_.data(), m_.data());
            return ConvergingStop::Converged;
        }
        if (stop && stop()) return ConvergingStop::Stopped;
        if (iterations >= max_iterations) return ConvergingStop::IterationLimit;
        // Trial steps, damped more after each rejected one, until one is
        // taken.
        bool undamped = trust_linear && gn_ok_;
        for (;;) {
            std::array<double, kEngineParams> velocity{};
            if (undamped)
                dx = gn_;
            else if (!solve(lambda, velocity.data()))
                return ConvergingStop::Failed;
            const double damping = undamped ? 0.0 : lambda;
            if (!undamped) {
                dx = velocity;
                if (small_ && !negligible(u_.data(), velocity.data()) && !accelerate(velocity.data(), dx.data())) {
                    lambda *= nu;
                    nu *= 2.0;
                    if (!(lambda < kMostDamping)) {
                        set_parameters(u_.data());
                        return ConvergingStop::NoProgress;
                    }
                    continue;
                }
            }
            for (int k = 0; k < p_; ++k) ut[k] = u_[k] + dx[k];
            set_parameters(ut.data());
            const double chi_t = residuals(ft_.data(), mt_.data());
            // The change of the chi-square from the residuals, sum of
            // (r' - r)(r' + r): near the optimum the difference of two
            // large sums would be mostly their rounding. `noise` bounds
            // the rounding of this sum from that of the model values.
            double change = 0.0, noise = 0.0;
            for (int i = 0; i < n_; ++i) {
                const double sum = ft_[i] + f_[i], diff = ft_[i] - f_[i];
                change += diff * sum;
                noise += std::fabs(sum) * (std::fabs(m_[i]) + std::fabs(mt_[i])) * weight_[i] + std::fabs(diff * sum);
            }
            noise *= 4.0 * DBL_EPSILON;
            if (!std::isfinite(chi_t)) change = HUGE_VAL;
            const bool tiny = negligible(u_.data(), dx.data());
            // The fall the linearised problem predicts (from the velocity,
            // as GSL's accelerated steps).
            double predicted = 0.0;
            const auto& v = undamped ? dx : velocity;
            for (int k = 0; k < p_; ++k) predicted += -g_[k] * v[k] + damping * d2_[k] * v[k] * v[k];
            if (change < -noise || (tiny && change <= noise)) {
                const double rho = predicted > 0.0 ? -change / predicted : 0.0;
                if (rho > 0.0) lambda *= std::max(1.0 / 3.0, 1.0 - std::pow(2.0 * rho - 1.0, 3));
                trust_linear = rho > 0.75;
                nu = 2.0;
                u_ = ut;
                f_ = ft_;
                m_ = mt_;
                chi_ = chi_t;
                ++iterations;
                print_iteration(out_, iterations, mode, chi_ / dof);
                converging::precise_jacobian(e_, model_, plan_);
                if (!take_jacobian()) return ConvergingStop::Failed;
                if (tiny && change >= -noise) return ConvergingStop::Rounding;
                // Where the Jacobian is rank-deficient there is no
                // Gauss-Newton step to test: the step just taken is.
                last_tiny = tiny && std::fabs(change) <= kChiTolerance * chi_;
                break;
            }
            // A negligible step that does not lower the chi-square, where
            // the fall predicted is within the rounding too: the optimum as
            // far as the arithmetic can tell. (A step that is negligible
            // only because the damping has grown is not.)
            if (tiny && predicted <= 10.0 * noise) {
                set_parameters(u_.data());
                // Where the rounding of the model values is not small
                // against the chi-square itself (a model near a pole), the
                // fit is stuck rather than converged.
                return noise <= 1e-6 * chi_ ? ConvergingStop::Rounding : ConvergingStop::NoProgress;
            }
            trust_linear = false;
            if (undamped) {
                // The damped step at the damping as it was comes next.
                undamped = false;
                continue;
            }
            lambda *= nu;
            nu *= 2.0;
            if (!(lambda < kMostDamping)) {
                set_parameters(u_.data());
                return ConvergingStop::NoProgress;
            }
        }
    }
}

void Minimiser::finish(ConvergingFitResult& r) {
    set_parameters(u_.data());
    r.values = e_.a;
    r.points = n_;
    r.varied = p_;
    r.dof = std::max(e_.npoints - active_mask_count(e_), 1);
    r.chi_square = chi_;
    r.reduced_chi_square = chi_ / r.dof;
    // The errors from the precise derivatives at the result (the last
    // Jacobian was taken there), by the parameters themselves: with bounds
    // this is the covariance of the internal variables transformed back.
    // J'J of the last Jacobian taken, by the parameters themselves (the
    // internal variables' J'J divided by the slopes of the transforms).
    std::string failure;
    bool flat = false;
    for (int k = 0; k < p_; ++k) flat = flat || !(std::fabs(tr_[k].slope(u_jacobian_[k])) > 0.0);
    if (!flat) {
        for (int a = 0; a < p_; ++a)
            for (int b = 0; b < p_; ++b)
                gsl_matrix_set(damped_.get(), a, b,
                               gsl_matrix_get(jtj_.get(), a, b) /
                                   (tr_[a].slope(u_jacobian_[a]) * tr_[b].slope(u_jacobian_[b])));
    }
    r.covariance = converging::covariance_from(e_, weight_, plan_, failure, flat ? nullptr : damped_.get());
    if (!failure.empty()) out_.line(failure);
    for (int k = 0; k < kEngineParams; ++k) {
        if (!r.covariance.determined[k]) continue;
        r.errors[k] = std::sqrt(r.covariance.c[k][k]);
        for (int j = 0; j < kEngineParams; ++j)
            if (r.covariance.determined[j])
                r.correlation[k][j] = r.covariance.c[k][j] / std::sqrt(r.covariance.c[k][k] * r.covariance.c[j][j]);
    }
}

} // namespace

bool fixed_weights(int mode) {
    const int w = weighting_mode(mode);
    return w == 1 || w == 4;
}

ConvergingFitResult converging_fit(EngineState& e, OutputSink& out, const EngineInputs& in,
                                   const ConvergingFitSettings& settings) {
    ConvergingFitResult result;
    load_working_copy(e, in);
    share_with_helper(e, in.model);
    // The weights are the fit's from the start, so the starting chi-square
    // shown is already the one it minimises.
    if (e.weight_mode == 1) scan_error_bars(e);
    if (!can_start(e, out, settings.bounds)) return result;
    GslErrorsReturned gsl_errors;
    Minimiser m(e, out, in.model);
    if (!m.start(settings.bounds)) return result;
    e.scale = 1.0;
    if (settings.started) settings.started(m.chi_square() / std::max(e.npoints - active_mask_count(e), 1));
    if (e.weight_mode == 1 && e.no_error_bars != 0) out.line("No error bars: Using unweighted chi-squares.");
    const int max_iterations = settings.max_iterations > 0 ? settings.max_iterations : kConvergingDefaultIterations;
    result.stop = m.run(max_iterations, settings.stop, result.iterations);
    m.finish(result);
    return result;
}

Covariance estimate_covariance(EngineState& e, const EngineInputs& in) {
    load_working_copy(e, in);
    select_varied(e);
    if (e.nvaried == 0 || e.npoints <= 0) return Covariance{};
    GslErrorsReturned gsl_errors;
    point_values(e, in.model);
    std::array<double, kEngineDerivPoints> weight{};
    converging::fit_weights(e, weight);
    JacobianPlan plan;
    converging::plan_jacobian(e, in.model, plan);
    std::string failure;
    return converging::covariance_from(e, weight, plan, failure);
}

void estimate_correlation(EngineState& e, OutputSink& out, const EngineInputs& in) {
    // The weights of the mode as a fit would use them now; the flag that the
    // last fit left for the chi-squares is kept.
    // (Copying the inputs leaves the flag alone.)
    load_working_copy(e, in);
    const int keep_flag = e.no_error_bars;
    scan_error_bars(e);
    const Covariance cov = estimate_covariance(e, in);
    e.no_error_bars = keep_flag;
    const int np = e.nparams;
    if (cov.singular) {
        std::string which;
        for (int k = 0; k < np; ++k)
            if (e.mask[k] != 0 && !cov.determined[k]) which += " " + format_I(k + 1, 2);
        out.line("The curvature matrix is singular: the estimates of parameters" + which +
                 " are not determined, nor are their correlations.");
        return;
    }
    std::array<std::array<double, kEngineParams>, kEngineParams> r{};
    for (int p = 0; p < np; ++p)
        for (int q = 0; q < np; ++q)
            if (cov.determined[p] && cov.determined[q]) r[p][q] = cov.c[p][q] / std::sqrt(cov.c[p][p] * cov.c[q][q]);
    print_correlation_layout(out, "         CORRELATION MATRIX OF THE ESTIMATES :", r, np);
}

} // namespace tarva
