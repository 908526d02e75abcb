#include "fitting/converging_fit.h"

#include <gsl/gsl_blas.h>
#include <gsl/gsl_eigen.h>
#include <gsl/gsl_errno.h>
#include <gsl/gsl_linalg.h>
#include <gsl/gsl_multifit_nlinear.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <string>

#include "fitting/parallel.h"
#include "text/fixed_text.h"
#include "text/format.h"

namespace tarva {

namespace {

// Convergence tests (gsl_multifit_nlinear_test): a step below xtol relative
// to the parameters, or a scaled gradient below gtol relative to the cost.
constexpr double kStepTolerance = 1e-6;
constexpr double kGradientTolerance = 1e-8;
// Or a step that lowered the chi-square by less than this fraction while no
// parameter moved by more than kChiStepTolerance of itself: the parameters
// are then within a few 1e-4 of their errors of the optimum. (A fit on a
// plateau far from the optimum also barely lowers the chi-square, but it
// moves the parameters a long way.)
constexpr double kChiTolerance = 1e-10;
constexpr double kChiStepTolerance = 1e-4;

// A problem whose Jacobian has at most this many entries (points times
// varied parameters) is small. On a small problem the trust region uses
// geodesic acceleration, which takes one more model pass per trial step and
// carries fits started far away through curved valleys, and the fit ends
// with a refinement by precise derivatives and QR (about five model
// evaluations per entry and step): a few milliseconds in all. A large one,
// such as a spectrum of many peaks, which must be started near its optimum
// anyway, converges as fast with plain Levenberg-Marquardt steps, and its
// chi-square is what the fit is for.
constexpr int kSmallProblem = 20000;

// Residual given to a point whose model value is not a finite number: the
// trust region sees a huge cost and rejects the step that led there.
constexpr double kBadResidual = 1e100;

// An eigenvalue of the unit-diagonal curvature matrix below this fraction
// of the largest marks a direction the data do not determine.
constexpr double kNullEigenvalue = 1e-13;

// A parameter with at least this weight (squared component) in such a
// direction is itself undetermined.
constexpr double kNullShare = 1e-6;

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
    void operator()(gsl_multifit_nlinear_workspace* w) const { gsl_multifit_nlinear_free(w); }
    void operator()(gsl_eigen_symmv_workspace* w) const { gsl_eigen_symmv_free(w); }
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

// The problem as GSL sees it: residuals (model - Y) / sqrt(variance) of the
// working copy's points as functions of its varied parameters.
struct Problem {
    EngineState& e;
    ModelRef model;
    std::array<double, kEngineDerivPoints> weight{}; // 1 / sqrt(variance)
    bool precise = false;                            // precise derivatives (refinement)
};

void set_varied(EngineState& e, const gsl_vector* x) {
    for (int p = 0; p < e.nvaried; ++p) e.a[e.varied[p]] = gsl_vector_get(x, static_cast<std::size_t>(p));
}

int residuals(const gsl_vector* x, void* data, gsl_vector* f) {
    auto& pr = *static_cast<Problem*>(data);
    EngineState& e = pr.e;
    set_varied(e, x);
    point_values(e, pr.model);
    for (int i = 0; i < e.npoints; ++i) {
        double r = (e.model[i] - static_cast<double>(e.y[i])) * pr.weight[i];
        if (!std::isfinite(r)) r = kBadResidual;
        gsl_vector_set(f, static_cast<std::size_t>(i), r);
    }
    return GSL_SUCCESS;
}

// The weighted Jacobian of the working copy's derivatives; entries that are
// not finite become 0.
void fill_jacobian(const EngineState& e, const std::array<double, kEngineDerivPoints>& weight, gsl_matrix* jac) {
    for (int i = 0; i < e.npoints; ++i) {
        double* row = gsl_matrix_ptr(jac, static_cast<std::size_t>(i), 0);
        const auto& d = e.point_deriv[i];
        for (int p = 0; p < e.nvaried; ++p) {
            const double v = d[p] * weight[i];
            row[p] = std::isfinite(v) ? v : 0.0;
        }
    }
}

int jacobian(const gsl_vector* x, void* data, gsl_matrix* jac) {
    auto& pr = *static_cast<Problem*>(data);
    EngineState& e = pr.e;
    set_varied(e, x);
    if (pr.precise)
        precise_point_derivatives(e, pr.model);
    else
        point_derivatives(e, pr.model);
    fill_jacobian(e, pr.weight, jac);
    return GSL_SUCCESS;
}

// J'J of an n x p matrix, full symmetric, from the entries of each row that
// matter: those below 1e-17 of their column's largest magnitude add less
// than the rounding of the sums they enter and are passed over. A peak's
// derivatives fall off fast away from it, so in a spectrum of many peaks
// most entries of a row are passed over.
void gram_matrix(const gsl_matrix* jac, gsl_matrix* out) {
    const std::size_t n = jac->size1, p = jac->size2;
    gsl_matrix_set_zero(out);
    std::array<double, kEngineParams> floor{};
    for (std::size_t i = 0; i < n; ++i) {
        const double* row = gsl_matrix_const_ptr(jac, i, 0);
        for (std::size_t j = 0; j < p; ++j) floor[j] = std::max(floor[j], std::fabs(row[j]));
    }
    for (std::size_t j = 0; j < p; ++j) floor[j] *= 1e-17;
    std::array<std::size_t, kEngineParams> nz{};
    for (std::size_t i = 0; i < n; ++i) {
        const double* row = gsl_matrix_const_ptr(jac, i, 0);
        // Listed without a branch: which entries pass is no pattern a
        // processor could predict.
        std::size_t m = 0;
        for (std::size_t j = 0; j < p; ++j) {
            nz[m] = j;
            m += std::fabs(row[j]) > floor[j] ? 1 : 0;
        }
        for (std::size_t s = 0; s < m; ++s) {
            const double a = row[nz[s]];
            double* orow = gsl_matrix_ptr(out, nz[s], 0);
            for (std::size_t t = s; t < m; ++t) orow[nz[t]] += a * row[nz[t]];
        }
    }
    for (std::size_t a = 0; a < p; ++a)
        for (std::size_t b = a + 1; b < p; ++b) gsl_matrix_set(out, b, a, gsl_matrix_get(out, a, b));
}

// Moré's scaling, as GSL's gsl_multifit_nlinear_scale_more: D(j) is the
// largest norm that column j of the Jacobian has had (1 for a column of
// zeros). The norms are summed row by row; GSL's takes each column with a
// stride, which on a tall Jacobian costs several times as much. A sum that
// overflows or underflows is taken again with GSL's careful norm.
int more_update(const gsl_matrix* jac, gsl_vector* diag) {
    std::array<double, kEngineParams> sq{};
    for (std::size_t i = 0; i < jac->size1; ++i) {
        const double* row = gsl_matrix_const_ptr(jac, i, 0);
        for (std::size_t j = 0; j < jac->size2; ++j) sq[j] += row[j] * row[j];
    }
    for (std::size_t j = 0; j < jac->size2; ++j) {
        double norm = std::sqrt(sq[j]);
        if (!std::isfinite(norm) || norm < 1e-150) {
            gsl_vector_const_view col = gsl_matrix_const_column(jac, j);
            norm = gsl_blas_dnrm2(&col.vector);
        }
        if (norm == 0.0) norm = 1.0;
        gsl_vector_set(diag, j, std::max(gsl_vector_get(diag, j), norm));
    }
    return GSL_SUCCESS;
}

int more_init(const gsl_matrix* jac, gsl_vector* diag) {
    gsl_vector_set_zero(diag);
    return more_update(jac, diag);
}

const gsl_multifit_nlinear_scale kMoreScale{"more (by rows)", more_init, more_update};

// Linear solver for the trust-region steps: the normal equations
// (J'J + mu D'D) dx = -J'f by Cholesky factorisation (GSL's, with a modified
// Cholesky when the matrix is not positive definite), with J'J formed from
// the nonzero entries only. GSL's own Cholesky solver forms J'J as a dense
// product, which for a 1024 x 50 spectrum costs several times the rest of
// an iteration.
struct NormalSolverState {
    GslPtr<gsl_matrix> jtj, work;
    GslPtr<gsl_vector> scale, rhs, mdiag, work3;
    GslPtr<gsl_permutation> perm;
    bool modified = false;
};

void* normal_alloc(std::size_t, std::size_t p) {
    auto* s = new NormalSolverState;
    s->jtj.reset(gsl_matrix_alloc(p, p));
    s->work.reset(gsl_matrix_alloc(p, p));
    s->scale.reset(gsl_vector_alloc(p));
    s->rhs.reset(gsl_vector_alloc(p));
    s->mdiag.reset(gsl_vector_alloc(p));
    s->work3.reset(gsl_vector_alloc(3 * p));
    s->perm.reset(gsl_permutation_alloc(p));
    return s;
}

int normal_init(const void* vtrust, void* vstate) {
    const auto* t = static_cast<const gsl_multifit_nlinear_trust_state*>(vtrust);
    gram_matrix(t->J, static_cast<NormalSolverState*>(vstate)->jtj.get());
    return GSL_SUCCESS;
}

int normal_presolve(double mu, const void* vtrust, void* vstate) {
    const auto* t = static_cast<const gsl_multifit_nlinear_trust_state*>(vtrust);
    auto* s = static_cast<NormalSolverState*>(vstate);
    const std::size_t p = s->jtj->size1;
    auto fill = [&] {
        gsl_matrix_memcpy(s->work.get(), s->jtj.get());
        for (std::size_t j = 0; j < p; ++j) {
            const double d = gsl_vector_get(t->diag, j);
            *gsl_matrix_ptr(s->work.get(), j, j) += mu * d * d;
        }
    };
    fill();
    s->modified = gsl_linalg_cholesky_decomp2(s->work.get(), s->scale.get()) != GSL_SUCCESS;
    if (s->modified) {
        fill();
        return gsl_linalg_mcholesky_decomp(s->work.get(), s->perm.get(), s->mdiag.get());
    }
    return GSL_SUCCESS;
}

int normal_solve(const gsl_vector* f, gsl_vector* x, const void* vtrust, void* vstate) {
    const auto* t = static_cast<const gsl_multifit_nlinear_trust_state*>(vtrust);
    auto* s = static_cast<NormalSolverState*>(vstate);
    // For the step itself the right-hand side is the gradient J'f, which the
    // trust region already holds; other vectors (geodesic acceleration)
    // are multiplied out.
    if (f == t->f) {
        gsl_vector_memcpy(s->rhs.get(), t->g);
        gsl_vector_scale(s->rhs.get(), -1.0);
    } else {
        gsl_blas_dgemv(CblasTrans, -1.0, t->J, f, 0.0, s->rhs.get());
    }
    if (s->modified) return gsl_linalg_mcholesky_solve(s->work.get(), s->perm.get(), s->rhs.get(), x);
    return gsl_linalg_cholesky_solve2(s->work.get(), s->scale.get(), s->rhs.get(), x);
}

int normal_rcond(double* rcond, void* vstate) {
    auto* s = static_cast<NormalSolverState*>(vstate);
    const int status = s->modified ? gsl_linalg_mcholesky_rcond(s->work.get(), s->perm.get(), rcond, s->work3.get())
                                   : gsl_linalg_cholesky_rcond(s->work.get(), rcond, s->work3.get());
    *rcond = std::sqrt(*rcond);
    return status;
}

void normal_free(void* vstate) { delete static_cast<NormalSolverState*>(vstate); }

const gsl_multifit_nlinear_solver kNormalSolver{
    "sparse normal equations", normal_alloc, normal_init, normal_presolve, normal_solve, normal_rcond, normal_free};

bool all_finite(const EngineState& e, OutputSink& out, bool derivatives);

// The checks before the minimiser is set up, each failure with its one
// message. Leaves the model values at the start in e.model.
bool can_start(EngineState& e, OutputSink& out, ModelRef model) {
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
    point_values(e, model);
    return all_finite(e, out, false);
}

// Whether the model values (and the derivatives) of every point are finite
// numbers; if not, says where.
bool all_finite(const EngineState& e, OutputSink& out, bool derivatives) {
    for (int i = 0; i < e.npoints; ++i) {
        bool finite = std::isfinite(e.model[i]);
        for (int p = 0; derivatives && p < e.nvaried; ++p) finite = finite && std::isfinite(e.point_deriv[i][p]);
        if (!finite) {
            out.line("The function is not finite at X = " + std::string(trim(format_G(e.x[i], 12, 5, 1))) +
                     ", can't fit!");
            return false;
        }
    }
    return true;
}

// After the minimiser's first Jacobian: every varied parameter must change
// the model somewhere.
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

// Whether no component of the step dx exceeds tol (|x| + tol), as GSL's
// step test has it.
bool small_step(const gsl_vector* x, const gsl_vector* dx, double tol) {
    for (std::size_t j = 0; j < x->size; ++j)
        if (std::fabs(gsl_vector_get(dx, j)) > tol * (std::fabs(gsl_vector_get(x, j)) + tol)) return false;
    return true;
}

double cost_of(const gsl_vector* f) {
    double c = 0.0;
    gsl_blas_ddot(f, f, &c);
    return c;
}

// Gauss-Newton refinement of a converged fit: steps that solve the linearised
// problem min |J dx + f| by QR (columns scaled to unit length), kept while
// they shrink and do not raise the chi-square beyond its rounding. Near the
// optimum of an ill-conditioned problem the chi-square no longer changes
// visibly between neighbouring parameter sets, so the trust region cannot
// tell a better step from a worse one; the linearised problem still can.
int refine(Problem& pr, gsl_vector* x, OutputSink& out, int first_line, int dof) {
    EngineState& e = pr.e;
    pr.precise = true;
    const auto n = static_cast<std::size_t>(e.npoints), p = static_cast<std::size_t>(e.nvaried);
    GslPtr<gsl_matrix> jac(gsl_matrix_alloc(n, p));
    GslPtr<gsl_vector> f(gsl_vector_alloc(n)), ft(gsl_vector_alloc(n)), res(gsl_vector_alloc(n));
    GslPtr<gsl_vector> tau(gsl_vector_alloc(p)), dx(gsl_vector_alloc(p)), xt(gsl_vector_alloc(p)),
        scale(gsl_vector_alloc(p));
    double previous = HUGE_VAL;
    int steps = 0;
    residuals(x, &pr, f.get());
    double cost = cost_of(f.get());
    for (int k = 0; k < 10; ++k) {
        jacobian(x, &pr, jac.get());
        for (std::size_t j = 0; j < p; ++j) {
            gsl_vector_view col = gsl_matrix_column(jac.get(), j);
            const double norm = gsl_blas_dnrm2(&col.vector);
            if (!(norm > 0.0)) return steps;
            gsl_vector_scale(&col.vector, 1.0 / norm);
            gsl_vector_set(scale.get(), j, norm);
        }
        if (gsl_linalg_QR_decomp(jac.get(), tau.get()) != GSL_SUCCESS) return steps;
        if (gsl_linalg_QR_lssolve(jac.get(), tau.get(), f.get(), dx.get(), res.get()) != GSL_SUCCESS) return steps;
        double size = 0.0;
        for (std::size_t j = 0; j < p; ++j) {
            const double d = -gsl_vector_get(dx.get(), j) / gsl_vector_get(scale.get(), j);
            const double xj = gsl_vector_get(x, j);
            gsl_vector_set(xt.get(), j, xj + d);
            size = std::max(size, std::fabs(d) / std::max(std::fabs(xj), 1e-300));
        }
        if (!(size < 0.5 * previous) || !std::isfinite(size)) break;
        residuals(xt.get(), &pr, ft.get());
        const double trial = cost_of(ft.get());
        if (!(trial <= cost * (1.0 + 1e-12))) break;
        gsl_vector_memcpy(x, xt.get());
        gsl_vector_memcpy(f.get(), ft.get());
        cost = trial;
        previous = size;
        ++steps;
        print_iteration(out, first_line + steps, e.weight_mode, cost / dof);
        if (size < 1e-15) break;
    }
    return steps;
}

// The covariance of the estimates from the weighted Jacobian of the varied
// parameters (columns in e.varied order): the inverse of J'J, found through
// the eigenvectors of J'J scaled to a unit diagonal. Directions of (nearly)
// zero curvature are left out, and the parameters that take part in them,
// like those the model does not depend on, are undetermined.
Covariance covariance_from(const EngineState& e, const gsl_matrix* jac) {
    Covariance cov;
    const int n = e.nvaried;
    GslPtr<gsl_matrix> a(gsl_matrix_alloc(static_cast<std::size_t>(n), static_cast<std::size_t>(n)));
    gram_matrix(jac, a.get());
    std::array<int, kEngineParams> keep{};
    int m = 0;
    for (int p = 0; p < n; ++p)
        if (gsl_matrix_get(a.get(), p, p) > 0.0) keep[m++] = p;
    if (m > 0) {
        const auto um = static_cast<std::size_t>(m);
        GslPtr<gsl_matrix> s(gsl_matrix_alloc(um, um)), vec(gsl_matrix_alloc(um, um));
        GslPtr<gsl_vector> val(gsl_vector_alloc(um));
        std::array<double, kEngineParams> d{};
        for (int u = 0; u < m; ++u) d[u] = std::sqrt(gsl_matrix_get(a.get(), keep[u], keep[u]));
        for (int u = 0; u < m; ++u)
            for (int v = 0; v < m; ++v)
                gsl_matrix_set(s.get(), u, v, gsl_matrix_get(a.get(), keep[u], keep[v]) / (d[u] * d[v]));
        GslPtr<gsl_eigen_symmv_workspace> ws(gsl_eigen_symmv_alloc(um));
        gsl_eigen_symmv(s.get(), val.get(), vec.get(), ws.get());
        const double top = gsl_vector_max(val.get());
        // w[u][k] = V(u, k) / sqrt(lambda_k) over the determined directions;
        // the inverse is then the sum over k of w[u][k] w[v][k].
        std::array<std::array<double, kEngineParams>, kEngineParams> w{};
        std::array<double, kEngineParams> null_share{};
        int nk = 0;
        for (int k = 0; k < m; ++k) {
            const double lam = gsl_vector_get(val.get(), k);
            if (!(top > 0.0) || lam <= kNullEigenvalue * top) {
                for (int u = 0; u < m; ++u) null_share[u] += std::pow(gsl_matrix_get(vec.get(), u, k), 2);
                continue;
            }
            for (int u = 0; u < m; ++u) w[u][nk] = gsl_matrix_get(vec.get(), u, k) / std::sqrt(lam);
            ++nk;
        }
        for (int u = 0; u < m; ++u) {
            if (!(null_share[u] < kNullShare)) continue;
            cov.determined[e.varied[keep[u]]] = true;
            for (int v = 0; v < m; ++v) {
                if (!(null_share[v] < kNullShare)) continue;
                double sum = 0.0;
                for (int k = 0; k < nk; ++k) sum += w[u][k] * w[v][k];
                cov.c[e.varied[keep[u]]][e.varied[keep[v]]] = sum / (d[u] * d[v]);
            }
        }
    }
    for (int p = 0; p < n; ++p)
        if (!cov.determined[e.varied[p]]) cov.singular = true;
    return cov;
}

} // namespace

bool fixed_weights(int mode) {
    const int w = weighting_mode(mode);
    return w == 1 || w == 4;
}

ConvergingFitResult converging_fit(EngineState& e, OutputSink& out, const EngineInputs& in, std::span<double> params,
                                   std::span<double> errors, std::span<bool> determined, int max_iterations,
                                   const std::function<void()>& started, StopQuery stop) {
    ConvergingFitResult result;
    load_working_copy(e, in);
    share_with_helper(e, in.model);
    // The weights are the fit's from the start, so the starting chi-square
    // shown is already the one it minimises.
    if (e.weight_mode == 1) scan_error_bars(e);
    if (!can_start(e, out, in.model)) return result;

    GslErrorsReturned gsl_errors;
    Problem problem{e, in.model, {}};
    for (int i = 0; i < e.npoints; ++i) problem.weight[i] = 1.0 / std::sqrt(point_variance(e, i, e.model[i]));
    const auto n = static_cast<std::size_t>(e.npoints), p = static_cast<std::size_t>(e.nvaried);
    const bool small = e.npoints * e.nvaried <= kSmallProblem;
    gsl_multifit_nlinear_parameters par = gsl_multifit_nlinear_default_parameters();
    par.trs = small ? gsl_multifit_nlinear_trs_lmaccel : gsl_multifit_nlinear_trs_lm;
    par.solver = &kNormalSolver;
    par.scale = &kMoreScale;
    GslPtr<gsl_multifit_nlinear_workspace> w(gsl_multifit_nlinear_alloc(gsl_multifit_nlinear_trust, &par, n, p));
    GslPtr<gsl_vector> x(gsl_vector_alloc(p));
    for (std::size_t k = 0; k < p; ++k) gsl_vector_set(x.get(), k, e.a[e.varied[k]]);
    gsl_multifit_nlinear_fdf fdf{};
    fdf.f = residuals;
    fdf.df = jacobian;
    fdf.fvv = nullptr; // second directional derivatives by GSL's finite differences
    fdf.n = n;
    fdf.p = p;
    fdf.params = &problem;
    if (w == nullptr || gsl_multifit_nlinear_init(x.get(), &fdf, w.get()) != GSL_SUCCESS) {
        out.line("FIT/C could not start the minimiser, can't fit!");
        return result;
    }
    // The first Jacobian is that of the start (the last pass of the set-up).
    if (!all_finite(e, out, true) || !depends_on_all(e, out)) return result;
    e.scale = 1.0;
    if (started) started();
    if (e.weight_mode == 1 && e.no_error_bars != 0) out.line("No error bars: Using unweighted chi-squares.");
    if (max_iterations <= 0) max_iterations = kConvergingDefaultIterations;

    const int dof = std::max(e.npoints - active_mask_count(e), 1);
    result.stop = ConvergingStop::IterationLimit;
    double previous_cost = cost_of(w->f);
    while (result.iterations < max_iterations) {
        if (stop && stop()) {
            result.stop = ConvergingStop::Stopped;
            break;
        }
        if (gsl_multifit_nlinear_iterate(w.get()) != GSL_SUCCESS) {
            result.stop = ConvergingStop::NoProgress;
            break;
        }
        ++result.iterations;
        const double cost = cost_of(w->f);
        print_iteration(out, result.iterations, e.weight_mode, cost / dof);
        int info = 0;
        if (gsl_multifit_nlinear_test(kStepTolerance, kGradientTolerance, 0.0, &info, w.get()) == GSL_SUCCESS) {
            result.stop = info == 1 ? ConvergingStop::StepSize : ConvergingStop::Gradient;
            break;
        }
        if (previous_cost - cost <= kChiTolerance * cost && small_step(w->x, w->dx, kChiStepTolerance)) {
            result.stop = ConvergingStop::ChiChange;
            break;
        }
        previous_cost = cost;
    }
    // The accepted parameters are the workspace's position (the working
    // copy holds those of the last trial).
    gsl_vector_memcpy(x.get(), w->x);
    int refined = 0;
    if (small && result.stop != ConvergingStop::IterationLimit && result.stop != ConvergingStop::Stopped)
        refined = refine(problem, x.get(), out, result.iterations, dof);
    result.iterations += refined;
    set_varied(e, x.get());
    const int nb = std::min(e.nparams, static_cast<int>(params.size()));
    for (int k = 0; k < nb; ++k) params[k] = e.a[k];

    // Errors from the fit's own Jacobian at its final position, or afresh
    // where the refinement moved on from there.
    const Covariance cov = refined > 0 ? estimate_covariance(e, in.model) : covariance_from(e, w->J);
    for (int k = 0; k < nb; ++k) {
        if (e.mask[k] == 0) continue;
        if (k < static_cast<int>(errors.size())) errors[k] = cov.determined[k] ? std::sqrt(cov.c[k][k]) : 0.0;
        if (k < static_cast<int>(determined.size())) determined[k] = cov.determined[k];
    }
    return result;
}

Covariance estimate_covariance(EngineState& e, ModelRef model) {
    point_derivatives(e, model);
    if (e.nvaried == 0 || e.npoints <= 0) return Covariance{};
    GslErrorsReturned gsl_errors;
    GslPtr<gsl_matrix> jac(gsl_matrix_alloc(static_cast<std::size_t>(e.npoints), static_cast<std::size_t>(e.nvaried)));
    std::array<double, kEngineDerivPoints> weight{};
    for (int i = 0; i < e.npoints; ++i) weight[i] = 1.0 / std::sqrt(point_variance(e, i, e.model[i]));
    fill_jacobian(e, weight, jac.get());
    return covariance_from(e, jac.get());
}

void estimate_correlation(EngineState& e, OutputSink& out, const EngineInputs& in) {
    load_working_copy(e, in);
    // The weights of the mode as a fit would use them now; the flag that the
    // last fit left for the chi-squares is kept.
    const int keep_flag = e.no_error_bars;
    scan_error_bars(e);
    const Covariance cov = estimate_covariance(e, in.model);
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
