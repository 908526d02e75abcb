// Precise derivatives and the covariance of the fit to convergence.
#include <gsl/gsl_blas.h>
#include <gsl/gsl_eigen.h>
#include <gsl/gsl_errno.h>
#include <gsl/gsl_linalg.h>
#include <gsl/gsl_permutation.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "fitting/converging_fit_parts.h"
#include "fitting/parallel.h"
#include "fitting/point_kernel.h"

namespace tarva::converging {

namespace {

// Rank tests: a direction whose singular value (of the Jacobian with
// columns scaled to unit length) is below this fraction of the largest is
// one the data do not determine. Analytic derivatives are exact to a few
// units of rounding, so only near-exact dependence counts (Filip's
// polynomial of degree 10 has 1.2e-9 and is determined); central
// differences carry errors near 1e-10 of a column, so their test is looser;
// normal equations square the condition, so their singular values below
// about 1e-7 are rounding noise.
constexpr double kRankAnalytic = 1e-11;
constexpr double kRankDifferences = 1e-8;
constexpr double kRankNormal = 1e-7;

// A parameter with at least this weight (squared component) in an
// undetermined direction is itself undetermined.
constexpr double kNullShare = 1e-6;

struct GslFree {
    void operator()(gsl_vector* v) const { gsl_vector_free(v); }
    void operator()(gsl_matrix* m) const { gsl_matrix_free(m); }
    void operator()(gsl_permutation* p) const { gsl_permutation_free(p); }
    void operator()(gsl_eigen_symmv_workspace* w) const { gsl_eigen_symmv_free(w); }
};
template <class T>
using GslPtr = std::unique_ptr<T, GslFree>;

double step_of(const JacobianPlan& plan, int p, double value) {
    const double scale = std::max(std::fabs(value), plan.typical[p]);
    if (plan.linear[p]) return scale > 0.0 ? scale : 1.0;
    return scale > 0.0 ? kStepFraction * scale : kStepFraction;
}

// Central differences through the evaluator, one model call per point and
// shifted value: the five-point rule (f(-2h) - 8 f(-h) + 8 f(h) - f(2h)) /
// 12h, whose error falls with h^4, or the plain central difference over a
// wide step for a parameter the model is linear in (exact but for
// rounding). On a problem with large residuals the optimum the fit finds
// is the point where J'r = 0 with the J it computes, so the Jacobian's
// error moves the result itself.
void evaluator_jacobian(EngineState& e, ModelRef model, const double* steps, const JacobianPlan& plan) {
    std::span<const double> a(e.a);
    for (int i = 0; i < e.npoints; ++i) e.model[i] = model(a, e.x[i]);
    std::array<double, kEngineDerivPoints> sum;
    for (int p = 0; p < e.nvaried; ++p) {
        const int k = e.varied[p];
        const double keep = e.a[k], h = steps[p];
        auto add = [&](double at, double factor, bool first) {
            e.a[k] = at;
            for (int i = 0; i < e.npoints; ++i) {
                const double v = factor * model(a, e.x[i]);
                sum[i] = first ? v : sum[i] + v;
            }
        };
        if (plan.linear[p]) {
            add(keep + h, 1.0, true);
            add(keep - h, -1.0, false);
            for (int i = 0; i < e.npoints; ++i) e.point_deriv[i][p] = sum[i] / (2.0 * h);
        } else {
            add(keep + h, 8.0, true);
            add(keep - h, -8.0, false);
            add(keep + 2.0 * h, -1.0, false);
            add(keep - 2.0 * h, 1.0, false);
            for (int i = 0; i < e.npoints; ++i) e.point_deriv[i][p] = sum[i] / (12.0 * h);
        }
        e.a[k] = keep;
    }
}

void jacobian_with_steps(EngineState& e, ModelRef model, const JacobianPlan& plan, const double* steps) {
    if (plan.kernel) {
        const PointKernel& k = *model.kernel;
        run_split(e.npoints, e.parallel, [&](int begin, int end) { k.precise(k, e, begin, end, true, steps); });
    } else {
        evaluator_jacobian(e, model, steps, plan);
    }
    // The values are no longer those of the engine's last pass of values.
    e.values_kept = false;
}

// The typical magnitudes from derivatives taken at the start: a hundredth
// of the Y range over the largest derivative. 0 where the model does not
// depend on it. A parameter that starts away from 0 has its own magnitude
// as its scale, and the typical one is at most that: where the model
// hardly depends on it at the start (the rate of an exponential that has
// died out at all points but one), the derivatives would make it huge, and
// a difference step scaled to it would be far too wide once the parameter
// matters.
void typical_from_derivatives(const EngineState& e, double yrange, JacobianPlan& plan, bool zeros_only) {
    for (int p = 0; p < e.nvaried; ++p) {
        const double start = std::fabs(e.a[e.varied[p]]);
        if (zeros_only && start != 0.0) continue;
        double big = 0.0;
        for (int i = 0; i < e.npoints; ++i)
            if (std::isfinite(e.point_deriv[i][p])) big = std::max(big, std::fabs(e.point_deriv[i][p]));
        double t = big > 0.0 ? 0.01 * yrange / big : 0.0;
        if (start > 0.0 && t > start) t = start;
        plan.typical[p] = std::isfinite(t) ? t : 0.0;
    }
}

} // namespace

void fit_weights(const EngineState& e, std::array<double, kEngineDerivPoints>& weight) {
    for (int i = 0; i < e.npoints; ++i) weight[i] = 1.0 / std::sqrt(point_variance(e, i, e.model[i]));
}

void plan_jacobian(EngineState& e, ModelRef model, JacobianPlan& plan) {
    plan = JacobianPlan{};
    plan.kernel = model.kernel != nullptr && model.kernel->precise != nullptr;
    plan.analytic = plan.kernel && model.kernel->precise_analytic;
    plan.lists = plan.kernel && model.kernel->precise_lists;
    double ylo = HUGE_VAL, yhi = -HUGE_VAL, xbig = 0.0;
    for (int i = 0; i < e.npoints; ++i) {
        ylo = std::min(ylo, static_cast<double>(e.y[i]));
        yhi = std::max(yhi, static_cast<double>(e.y[i]));
        xbig = std::max(xbig, std::fabs(static_cast<double>(e.x[i])));
    }
    double yrange = yhi - ylo;
    if (!(yrange > 0.0) || !std::isfinite(yrange)) yrange = std::max(std::fabs(yhi), 1.0);
    if (!std::isfinite(xbig) || xbig == 0.0) xbig = 1.0;
    std::array<double, kEngineParams> steps{};
    bool zeros = false;
    if (!plan.analytic) {
        // A first probe: a parameter at 0 is stepped by a fraction of the
        // data's larger range; a second probe at the magnitude the first
        // found refines it.
        for (int p = 0; p < e.nvaried; ++p) {
            const double v = std::fabs(e.a[e.varied[p]]);
            zeros = zeros || v == 0.0;
            steps[p] = kStepFraction * (v > 0.0 ? v : std::max({xbig, yrange, 1.0}));
        }
        jacobian_with_steps(e, model, plan, steps.data());
        typical_from_derivatives(e, yrange, plan, false);
        if (zeros) {
            for (int p = 0; p < e.nvaried; ++p) steps[p] = step_of(plan, p, e.a[e.varied[p]]);
            jacobian_with_steps(e, model, plan, steps.data());
            typical_from_derivatives(e, yrange, plan, true);
        }
    }
    if (!plan.kernel) {
        // Linear parameters: the second difference over a wide step
        // vanishes (within rounding) at every point.
        std::span<const double> a(e.a);
        std::array<double, kEngineDerivPoints> f, up;
        for (int i = 0; i < e.npoints; ++i) f[i] = model(a, e.x[i]);
        for (int p = 0; p < e.nvaried; ++p) {
            const int k = e.varied[p];
            const double keep = e.a[k];
            const double h = std::max({std::fabs(keep), plan.typical[p], 1e-300});
            e.a[k] = keep + h;
            for (int i = 0; i < e.npoints; ++i) up[i] = model(a, e.x[i]);
            e.a[k] = keep - h;
            bool linear = true;
            for (int i = 0; i < e.npoints && linear; ++i) {
                const double down = model(a, e.x[i]);
                const double second = up[i] - 2.0 * f[i] + down;
                linear = std::isfinite(second) &&
                         std::fabs(second) <= 1e-9 * (std::fabs(up[i]) + 2.0 * std::fabs(f[i]) + std::fabs(down));
            }
            e.a[k] = keep;
            plan.linear[p] = linear;
        }
    }
    precise_jacobian(e, model, plan);
    if (plan.analytic) typical_from_derivatives(e, yrange, plan, false);
}

void fit_values(EngineState& e, ModelRef model) {
    if (model.kernel == nullptr || model.kernel->precise == nullptr) {
        point_values(e, model);
        return;
    }
    const PointKernel& k = *model.kernel;
    run_split(e.npoints, e.parallel, [&](int begin, int end) { k.precise(k, e, begin, end, false, nullptr); });
    e.values_kept = false;
}

void precise_jacobian(EngineState& e, ModelRef model, const JacobianPlan& plan) {
    std::array<double, kEngineParams> steps{};
    for (int p = 0; p < e.nvaried; ++p) steps[p] = step_of(plan, p, e.a[e.varied[p]]);
    jacobian_with_steps(e, model, plan, steps.data());
}

namespace {

// The columns the data determine at all (nonzero norm) into `keep`; their count.
int nonzero_columns(const std::array<double, kEngineParams>& norm, int nvaried, std::array<int, kEngineParams>& keep) {
    int m = 0;
    for (int k = 0; k < nvaried; ++k)
        if (norm[k] > 0.0) keep[static_cast<std::size_t>(m++)] = k;
    return m;
}

// The weighted Jacobian with columns scaled to unit length into `jac`
// (n x p); the column norms into `norm` (0 for a column of zeros, which
// stays zero). Entries that are not finite count as 0.
void scaled_jacobian(const EngineState& e, const std::array<double, kEngineDerivPoints>& weight, gsl_matrix* jac,
                     std::array<double, kEngineParams>& norm) {
    const int p = e.nvaried;
    norm.fill(0.0);
    for (int i = 0; i < e.npoints; ++i) {
        double* row = gsl_matrix_ptr(jac, static_cast<std::size_t>(i), 0);
        for (int k = 0; k < p; ++k) {
            const double v = e.point_deriv[i][k] * weight[i];
            row[k] = std::isfinite(v) ? v : 0.0;
            norm[k] += row[k] * row[k];
        }
    }
    for (int k = 0; k < p; ++k) norm[k] = std::sqrt(norm[k]);
    for (int i = 0; i < e.npoints; ++i) {
        double* row = gsl_matrix_ptr(jac, static_cast<std::size_t>(i), 0);
        for (int k = 0; k < p; ++k)
            if (norm[k] > 0.0) row[k] /= norm[k];
    }
}

// The covariance from the eigenvectors V and eigenvalues lambda of the
// scaled curvature matrix (columns of V: directions; lambda: squares of
// singular values): the directions with sqrt(lambda) below `tol` of the
// largest are undetermined, so are the parameters with a share of them;
// for the others C = sum over determined directions of v v' / lambda,
// unscaled by the column norms.
void covariance_from_directions(const EngineState& e, const gsl_matrix* vec, const gsl_vector* val,
                                const std::array<int, kEngineParams>& keep, int m,
                                const std::array<double, kEngineParams>& norm, double tol, Covariance& cov) {
    double top = 0.0;
    for (int k = 0; k < m; ++k) top = std::max(top, gsl_vector_get(val, k));
    std::array<double, kEngineParams> null_share{};
    std::array<std::array<double, kEngineParams>, kEngineParams> w{};
    int nk = 0;
    for (int k = 0; k < m; ++k) {
        const double lam = gsl_vector_get(val, k);
        if (!(top > 0.0) || !(lam > tol * tol * top)) {
            for (int u = 0; u < m; ++u) null_share[u] += std::pow(gsl_matrix_get(vec, u, k), 2);
            continue;
        }
        for (int u = 0; u < m; ++u) w[u][nk] = gsl_matrix_get(vec, u, k) / std::sqrt(lam);
        ++nk;
    }
    for (int u = 0; u < m; ++u) {
        if (!(null_share[u] < kNullShare)) continue;
        const int su = e.varied[keep[u]];
        cov.determined[su] = true;
        for (int v = 0; v < m; ++v) {
            if (!(null_share[v] < kNullShare)) continue;
            double sum = 0.0;
            for (int k = 0; k < nk; ++k) sum += w[u][k] * w[v][k];
            cov.c[su][e.varied[keep[v]]] = sum / (norm[keep[u]] * norm[keep[v]]);
        }
    }
}

// Small problems: QR of the scaled Jacobian (its columns that are not zero),
// then the singular value decomposition of its triangle R (one-sided Jacobi,
// accurate for the small singular values too).
bool small_covariance(const EngineState& e, const std::array<double, kEngineDerivPoints>& weight, double tol,
                      Covariance& cov, std::string& failure) {
    const auto n = static_cast<std::size_t>(e.npoints), p = static_cast<std::size_t>(e.nvaried);
    GslPtr<gsl_matrix> full(gsl_matrix_alloc(n, p));
    if (!full) {
        failure = "Not enough memory for the covariance of the estimates: errors not determined.";
        return false;
    }
    std::array<double, kEngineParams> norm{};
    scaled_jacobian(e, weight, full.get(), norm);
    std::array<int, kEngineParams> keep{};
    const int m = nonzero_columns(norm, e.nvaried, keep);
    if (m == 0) return true;
    const auto um = static_cast<std::size_t>(m);
    GslPtr<gsl_matrix> jac(gsl_matrix_alloc(n, um)), r(gsl_matrix_alloc(um, um)), v(gsl_matrix_alloc(um, um));
    GslPtr<gsl_vector> s(gsl_vector_alloc(um)), tau(gsl_vector_alloc(um));
    if (!jac || !r || !v || !s || !tau) {
        failure = "Not enough memory for the covariance of the estimates: errors not determined.";
        return false;
    }
    for (std::size_t i = 0; i < n; ++i)
        for (int a = 0; a < m; ++a) gsl_matrix_set(jac.get(), i, a, gsl_matrix_get(full.get(), i, keep[a]));
    if (gsl_linalg_QR_decomp(jac.get(), tau.get()) != GSL_SUCCESS) {
        failure = "The QR factorisation of the Jacobian failed: errors not determined.";
        return false;
    }
    gsl_matrix_set_zero(r.get());
    for (int a = 0; a < m; ++a)
        for (int b = a; b < m; ++b) gsl_matrix_set(r.get(), a, b, gsl_matrix_get(jac.get(), a, b));
    if (gsl_linalg_SV_decomp_jacobi(r.get(), v.get(), s.get()) != GSL_SUCCESS) {
        failure = "The singular value decomposition of the Jacobian failed: errors not determined.";
        return false;
    }
    // Eigenvalues of the scaled curvature matrix: squares of the singular values.
    for (int k = 0; k < m; ++k) gsl_vector_set(s.get(), k, std::pow(gsl_vector_get(s.get(), k), 2));
    covariance_from_directions(e, v.get(), s.get(), keep, m, norm, tol, cov);
    return true;
}

// J'WJ of the varied parameters scaled to a unit diagonal, from the entries
// of each row that matter: most entries of a spectrum's Jacobian are 0, and
// those below 1e-17 of their column's largest add less than the rounding
// of the sums they enter.
void weighted_gram(const EngineState& e, const std::array<double, kEngineDerivPoints>& weight, gsl_matrix* g) {
    const int p = e.nvaried;
    std::array<double, kEngineParams> floor{};
    for (int i = 0; i < e.npoints; ++i)
        for (int k = 0; k < p; ++k) {
            const double v = std::fabs(e.point_deriv[i][k] * weight[i]);
            if (v > floor[k] && std::isfinite(v)) floor[k] = v;
        }
    for (int k = 0; k < p; ++k) floor[k] *= 1e-17;
    double* data = g->data;
    const auto tda = g->tda;
    gsl_matrix_set_zero(g);
    std::array<double, kEngineParams> row{};
    std::array<int, kEngineParams> nz{};
    for (int i = 0; i < e.npoints; ++i) {
        int m = 0;
        for (int k = 0; k < p; ++k) {
            const double v = e.point_deriv[i][k] * weight[i];
            row[k] = std::isfinite(v) ? v : 0.0;
            nz[m] = k;
            m += std::fabs(row[k]) > floor[k] ? 1 : 0;
        }
        for (int s = 0; s < m; ++s) {
            double* grow = data + nz[s] * tda;
            const double a = row[nz[s]];
            for (int t = s; t < m; ++t) grow[nz[t]] += a * row[nz[t]];
        }
    }
    for (int a = 0; a < p; ++a)
        for (int b = a + 1; b < p; ++b) data[b * tda + a] = data[a * tda + b];
}

// Scales a J'J to a unit diagonal; the column norms into `norm`.
void scale_gram(gsl_matrix* g, std::array<double, kEngineParams>& norm) {
    const auto p = static_cast<int>(g->size1);
    double* data = g->data;
    const auto tda = g->tda;
    for (int k = 0; k < p; ++k) norm[k] = std::sqrt(data[k * tda + k]);
    for (int a = 0; a < p; ++a)
        for (int b = a; b < p; ++b) {
            const double d = norm[a] * norm[b];
            const double v = d > 0.0 ? data[a * tda + b] / d : 0.0;
            data[a * tda + b] = v;
            data[b * tda + a] = v;
        }
}

// The normal equations: J'WJ scaled to a unit diagonal. Pivoted Cholesky
// (whose pivots fall, like the squares of the diagonal of QR with column
// pivoting) tells whether every pivot is above tol^2 of the first; then
// the covariance is its inverse and this returns true. Otherwise, where
// `eigen` allows, the eigenvectors find the undetermined directions (true
// too); else false, for the caller to take the Jacobian itself.
bool normal_covariance(const EngineState& e, const gsl_matrix* gram, double tol, bool eigen, Covariance& cov,
                       std::string& failure) {
    const auto p = static_cast<std::size_t>(e.nvaried);
    GslPtr<gsl_matrix> g(gsl_matrix_alloc(p, p)), f(gsl_matrix_alloc(p, p)), inv(gsl_matrix_alloc(p, p));
    GslPtr<gsl_permutation> perm(gsl_permutation_alloc(p));
    if (!g || !f || !inv || !perm) {
        failure = "Not enough memory for the covariance of the estimates: errors not determined.";
        return true;
    }
    std::array<double, kEngineParams> norm{};
    gsl_matrix_memcpy(g.get(), gram);
    scale_gram(g.get(), norm);
    bool zero_column = false;
    for (std::size_t k = 0; k < p; ++k) zero_column = zero_column || !(norm[k] > 0.0);
    gsl_matrix_memcpy(f.get(), g.get());
    if (!zero_column && gsl_linalg_pcholesky_decomp(f.get(), perm.get()) == GSL_SUCCESS) {
        // Pivots of LDL': D falls along the diagonal.
        const double top = gsl_matrix_get(f.get(), 0, 0);
        bool full = top > 0.0;
        for (std::size_t k = 0; k < p && full; ++k) full = gsl_matrix_get(f.get(), k, k) > tol * tol * top;
        if (full) {
            const int status = gsl_linalg_pcholesky_invert(f.get(), perm.get(), inv.get());
            if (status != GSL_SUCCESS) {
                failure = "The inverse of the curvature matrix could not be formed: errors not determined.";
                return true;
            }
            for (std::size_t a = 0; a < p; ++a) {
                cov.determined[e.varied[a]] = true;
                for (std::size_t b = 0; b < p; ++b)
                    cov.c[e.varied[a]][e.varied[b]] = gsl_matrix_get(inv.get(), a, b) / (norm[a] * norm[b]);
            }
            return true;
        }
    }
    if (!eigen) return false;
    std::array<int, kEngineParams> keep{};
    const int m = nonzero_columns(norm, e.nvaried, keep);
    if (m == 0) return true;
    const auto um = static_cast<std::size_t>(m);
    GslPtr<gsl_matrix> s(gsl_matrix_alloc(um, um)), vec(gsl_matrix_alloc(um, um));
    GslPtr<gsl_vector> val(gsl_vector_alloc(um));
    GslPtr<gsl_eigen_symmv_workspace> ws(gsl_eigen_symmv_alloc(um));
    if (!s || !vec || !val || !ws) {
        failure = "Not enough memory for the covariance of the estimates: errors not determined.";
        return true;
    }
    for (int a = 0; a < m; ++a)
        for (int b = 0; b < m; ++b) gsl_matrix_set(s.get(), a, b, gsl_matrix_get(g.get(), keep[a], keep[b]));
    const int status = gsl_eigen_symmv(s.get(), val.get(), vec.get(), ws.get());
    if (status != GSL_SUCCESS) {
        failure = "The eigenvalues of the curvature matrix could not be found: errors not determined.";
        return true;
    }
    covariance_from_directions(e, vec.get(), val.get(), keep, m, norm, tol, cov);
    return true;
}

} // namespace

Covariance covariance_from(const EngineState& e, const std::array<double, kEngineDerivPoints>& weight,
                           const JacobianPlan& plan, std::string& failure, const gsl_matrix* gram) {
    Covariance cov;
    failure.clear();
    if (e.nvaried > 0 && e.npoints > 0) {
        const auto p = static_cast<std::size_t>(e.nvaried);
        GslPtr<gsl_matrix> own;
        if (gram == nullptr) {
            own.reset(gsl_matrix_alloc(p, p));
            if (!own) {
                failure = "Not enough memory for the covariance of the estimates: errors not determined.";
                return cov;
            }
            weighted_gram(e, weight, own.get());
            gram = own.get();
        }
        const bool small = e.npoints * e.nvaried <= kSmallProblem;
        const double tol = small ? (plan.analytic ? kRankAnalytic : kRankDifferences)
                                 : std::max(plan.analytic ? kRankAnalytic : kRankDifferences, kRankNormal);
        // A small problem takes the normal equations only when they are
        // far from singular (scaled singular values above 1e-4 of the
        // largest): then they lose nothing and cost less than a QR of its
        // Jacobian. Else the QR and the singular values decide.
        bool ok = true;
        if (small) {
            if (!normal_covariance(e, gram, 1e-4, false, cov, failure))
                ok = small_covariance(e, weight, tol, cov, failure);
        } else {
            normal_covariance(e, gram, tol, true, cov, failure);
        }
        if (!ok || !failure.empty()) cov = Covariance{};
    }
    for (int p = 0; p < e.nvaried; ++p)
        if (!cov.determined[e.varied[p]]) cov.singular = true;
    return cov;
}

} // namespace tarva::converging
