#include "fitting/engine.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <cpuid.h>
#include <immintrin.h>
#endif

#include "fitting/parallel.h"
#include "fitting/point_kernel.h"
#include "text/format.h"

namespace tarva {

namespace {

// The damping of the fit loop (lambda, starting at 1 each fit). While the
// chi-square is below kSmallChi and below kSmallChi * lambda, lambda is
// lowered to chi-square / kSmallChi before a step.
constexpr double kSmallChi = 10.0;
// A step that left the chi-square below kImproved times the old one
// multiplies lambda by kEaseDamping; one that raised it above kWorsened
// times the old one multiplies lambda by kRaiseDamping.
constexpr double kImproved = 1.01;
constexpr double kEaseDamping = 0.5;
constexpr double kWorsened = 1.1;
constexpr double kRaiseDamping = 2.5;
// The fit ends at a chi-square below kChiFloor, or when the chi-square did
// not rise, changed by less than the fraction kSettled, and lambda is below
// kSettledDamping.
constexpr double kChiFloor = 0.01;
constexpr double kSettled = 0.01;
constexpr double kSettledDamping = 0.01;

int clamp_count(int n, int cap) { return std::clamp(n, 0, cap); }

// Variance of point i for the current weighting mode. Data-derived variances
// are formed in single precision, as the data are.
double variance(const EngineState& e, int i, double model_value) {
    switch (e.weight_mode) {
    case 1:
    case 3: {
        double v = e.no_error_bars ? 1.0 : static_cast<double>(e.sigma[i] * e.sigma[i]);
        return v < 1e-30 ? 1e-30 : v;
    }
    case 4: {
        int j = i == 0 ? 1 : i - 1;
        // A single point has no neighbour: its variance is floored.
        if (j >= e.npoints) j = i;
        double v = std::fabs(static_cast<double>((e.y[i] - e.y[j]) * e.y[i]));
        return v < 1e-30 ? 1e-30 : v;
    }
    default: {
        double v = std::fabs(model_value);
        return v < 0.001 ? 0.001 : v;
    }
    }
}

// Model values (and derivatives) at points [begin, end) by plain forward
// differences, one model call per value.
void plain_points(EngineState& e, ModelRef model, int begin, int end, bool derivs) {
    std::span<const double> a(e.a);
    for (int i = begin; i < end; ++i) {
        const float x = e.x[i];
        const double f = model(a, x);
        e.model[i] = f;
        if (!derivs) continue;
        auto& row = e.point_deriv[i];
        for (int p = 0; p < e.nvaried; ++p) {
            const int k = e.varied[p];
            const double keep = e.a[k];
            const double h = forward_step(keep);
            e.a[k] = keep + h;
            const double f2 = model(a, x);
            e.a[k] = keep;
            row[p] = (f2 - f) / h;
        }
    }
}

void find_varied(EngineState& e) {
    e.nvaried = 0;
    for (int k = 0; k < e.nparams; ++k)
        if (e.mask[k] != 0) e.varied[e.nvaried++] = k;
}

// Values (and derivatives) of every point of the working copy.
void compute_points(EngineState& e, ModelRef model, bool derivs) {
    if (model.kernel == nullptr) {
        e.values_kept = false;
        plain_points(e, model, 0, e.npoints, derivs);
        return;
    }
    const PointKernel& k = *model.kernel;
    const bool same_params = terms_kept_for(k, e, e.a.data());
    // The values of the last pass of values at these very parameters are
    // still there.
    if (!derivs && same_params && e.values_kept) return;
    if (!derivs) e.terms_of = nullptr;
    if (derivs && !same_params) e.values_kept = false;
    run_split(e.npoints, e.parallel, [&](int begin, int end) { k.run(k, e, begin, end, derivs); });
    if (!derivs) {
        e.terms_of = k.context;
        e.terms_params = e.a;
        e.values_kept = true;
    }
}

std::string values_line(std::span<const double> v, std::size_t from, std::size_t to) {
    std::string s;
    for (std::size_t j = from; j < to; ++j) s += format_G(v[j], 12, 5, 1) + " ";
    return s;
}

void print_dump(const EngineState& e, OutputSink& out) {
    out.line(" Input i, X(i), Y(i), SIG(i) ");
    for (int i = 0; i < e.npoints; ++i)
        out.line(format_I(i + 1, 9) + format_G(e.x[i], 13, 6, 1) + " " + format_G(e.y[i], 13, 6, 1) + " " +
                 format_G(e.sigma[i], 13, 6, 1) + " ");
    out.line(" Input n, A(n), MASK(n) ");
    for (int k = 0; k < e.nparams; ++k)
        out.line(format_I(k + 1, 9) + format_G(e.a[k], 13, 6, 1) + format_I(e.mask[k], 5));
}

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__AVX__)
// Some loops have a second version for processors with AVX, chosen at run
// time (the build targets plain x86-64).
#define TARVA_AVX 1
// Whether the processor and the operating system support AVX, asked once,
// when first needed: a check at start-up (or libgcc's processor model,
// which runs at every start) would cost each run some 30 µs of cpuid traps
// on a virtual machine.
bool has_avx() {
    static const bool avx = [] {
        unsigned a = 0, b = 0, c = 0, d = 0;
        if (__get_cpuid(1, &a, &b, &c, &d) == 0) return false;
        // AVX, and XSAVE enabled by the system (OSXSAVE) with the SSE and
        // AVX register states both saved.
        if ((c & bit_AVX) == 0 || (c & bit_OSXSAVE) == 0) return false;
        unsigned lo = 0, hi = 0;
        __asm__("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
        return (lo & 6u) == 6u;
    }();
    return avx;
}

// nonzero_bits() below, four entries at a time.
__attribute__((target("avx"))) std::uint64_t nonzero_bits_avx(const double* d, int n, bool& finite) {
    std::uint64_t bits = 0;
    int p = 0;
    const __m256d zero = _mm256_setzero_pd();
    const __m256d sign = _mm256_set1_pd(-0.0);
    const __m256d inf = _mm256_set1_pd(HUGE_VAL);
    __m256d all_finite = _mm256_castsi256_pd(_mm256_set1_epi32(-1));
    for (; p + 4 <= n; p += 4) {
        const __m256d v = _mm256_loadu_pd(d + p);
        bits |= static_cast<std::uint64_t>(_mm256_movemask_pd(_mm256_cmp_pd(v, zero, _CMP_NEQ_UQ))) << p;
        all_finite = _mm256_and_pd(all_finite, _mm256_cmp_pd(_mm256_andnot_pd(sign, v), inf, _CMP_LT_OQ));
    }
    finite &= _mm256_movemask_pd(all_finite) == 15;
    for (; p < n; ++p) {
        finite &= std::isfinite(d[p]);
        bits |= static_cast<std::uint64_t>(d[p] != 0.0) << p;
    }
    return bits;
}
#endif

// Bit p set for each d[p] != 0 (NaN included) among d[0..n); `finite`
// cleared when one of them is infinite or NaN. Branch-free: most
// derivatives of a point are zero, in no predictable pattern.
std::uint64_t nonzero_bits(const double* d, int n, bool& finite) {
    static_assert(kEngineParams <= 64, "one bit per parameter");
#if defined(TARVA_AVX)
    if (has_avx()) return nonzero_bits_avx(d, n, finite);
#endif
    std::uint64_t bits = 0;
    int p = 0;
#if defined(__SSE2__)
    // Two entries per step: != 0 is true for NaN as in the loop below, and
    // |d| < infinity is false for infinities and NaN.
    const __m128d zero = _mm_setzero_pd();
    const __m128d sign = _mm_set1_pd(-0.0);
    const __m128d inf = _mm_set1_pd(HUGE_VAL);
    __m128d all_finite = _mm_castsi128_pd(_mm_set1_epi32(-1));
    for (; p + 2 <= n; p += 2) {
        const __m128d v = _mm_loadu_pd(d + p);
        bits |= static_cast<std::uint64_t>(_mm_movemask_pd(_mm_cmpneq_pd(v, zero))) << p;
        all_finite = _mm_and_pd(all_finite, _mm_cmplt_pd(_mm_andnot_pd(sign, v), inf));
    }
    finite &= _mm_movemask_pd(all_finite) == 3;
#endif
    for (; p < n; ++p) {
        finite &= std::isfinite(d[p]);
        bits |= static_cast<std::uint64_t>(d[p] != 0.0) << p;
    }
    return bits;
}

// Residual, variance, finiteness and the nonzero derivatives of points
// [begin, end), for the normal-equation sums.
void prepare_points(EngineState& e, int begin, int end) {
    const int n = e.nvaried;
    for (int i = begin; i < end; ++i) {
        const auto& d = e.point_deriv[i];
        const double r = static_cast<double>(e.y[i]) - e.model[i];
        const double v = variance(e, i, e.model[i]);
        bool finite = std::isfinite(r) && !std::isnan(v);
        // The nonzero entries as bits first, then listed.
        std::uint64_t bits = nonzero_bits(d.data(), n, finite);
        int m = 0;
        auto& nz = e.nonzero[i];
        for (; bits != 0; bits &= bits - 1) nz[m++] = static_cast<unsigned char>(std::countr_zero(bits));
        e.point_resid[i] = r;
        e.point_var[i] = v;
        e.point_finite[i] = finite ? 1 : 0;
        e.nonzero_count[i] = m;
    }
}

// Adds every point, in point order, to the rows p of the normal equations
// with p % 2 == half (beta[p] and alpha[p][q], q >= p), or with stride 1 to
// every row (half 0). Each sum sees the same terms in the same order
// whichever thread forms it, so the two halves may run at the same time. The sums are formed in private arrays (the two
// threads would otherwise write to shared cache lines) and copied at the end.
void sum_rows(EngineState& e, int half, int stride) {
    const int n = e.nvaried;
    double beta[kEngineParams];
    double alpha[kEngineParams][kEngineParams];
    for (int p = half; p < n; p += stride) {
        beta[p] = 0.0;
        for (int q = p; q < n; ++q) alpha[p][q] = 0.0;
    }
    for (int i = 0; i < e.npoints; ++i) {
        const auto& d = e.point_deriv[i];
        const double r = e.point_resid[i];
        const double v = e.point_var[i];
        if (e.point_finite[i] == 0) {
            for (int p = half; p < n; p += stride) {
                beta[p] += r * d[p] / v;
                for (int q = p; q < n; ++q) alpha[p][q] += d[p] * d[q] / v;
            }
            continue;
        }
        // A zero derivative adds exactly zero to every sum it enters as long
        // as the other factors are finite, so those terms are left out
        // without changing a single bit of the sums.
        const auto& nz = e.nonzero[i];
        const int m = e.nonzero_count[i];
        for (int s = 0; s < m; ++s) {
            const int p = nz[s];
            if (stride == 2 && (p & 1) != half) continue;
            const double dp = d[p];
            beta[p] += r * dp / v;
            double* row = alpha[p];
            for (int t = s; t < m; ++t) {
                const int q = nz[t];
                row[q] += dp * d[q] / v;
            }
        }
    }
    for (int p = half; p < n; p += stride) {
        e.beta[p] = beta[p];
        for (int q = p; q < n; ++q) e.alpha[p][q] = alpha[p][q];
    }
}

// Sums the normal equations of the working copy.
void normal_equations(EngineState& e, OutputSink& out, ModelRef model) {
    find_varied(e);
    const int n = e.nvaried;
    if (model.kernel == nullptr) {
        plain_points(e, model, 0, e.npoints, true);
        prepare_points(e, 0, e.npoints);
    } else {
        const PointKernel& k = *model.kernel;
        run_split(e.npoints, e.parallel, [&](int begin, int end) {
            k.run(k, e, begin, end, true);
            prepare_points(e, begin, end);
        });
    }
    if (e.dump > 0)
        for (int i = 0; i < e.npoints; ++i) {
            std::span<const double> dv(e.point_deriv[i].data(), static_cast<std::size_t>(n));
            for (int j = 0; j < n || j == 0; j += 5) {
                const std::string body =
                    values_line(dv, static_cast<std::size_t>(j), static_cast<std::size_t>(std::min(n, j + 5)));
                out.line(j == 0 ? "SQ DFM=" + body : body);
            }
        }
    // A handful of points is summed faster on one thread than handed over;
    // on one thread all rows are summed in one pass over the points.
    if (e.parallel && e.npoints >= 64 && n > 1)
        run_halves(true, [&](int half, int) { sum_rows(e, half, 2); });
    else
        sum_rows(e, 0, 1);
    for (int p = 0; p < n; ++p) {
        for (int q = p + 1; q < n; ++q) e.alpha[q][p] = e.alpha[p][q];
        e.alpha[p][p] *= 1.0 + e.lambda;
    }
}

} // namespace

void share_with_helper(EngineState& e, ModelRef model) {
    find_varied(e);
    e.parallel = model.kernel != nullptr && helper_pays(e.npoints, e.nvaried);
    if (e.parallel) wake_helper();
}

bool terms_kept_for(const PointKernel& k, const EngineState& e, const double* a) {
    if (e.terms_of == nullptr || e.terms_of != k.context) return false;
    for (int j = 0; j < kEngineParams; ++j)
        if (std::bit_cast<std::uint64_t>(e.terms_params[j]) != std::bit_cast<std::uint64_t>(a[j])) return false;
    return true;
}

void forget_kept_terms(EngineState& e, const void* context) {
    if (e.terms_of != context) return;
    e.terms_of = nullptr;
    e.values_kept = false;
}

void load_working_copy(EngineState& e, const EngineInputs& in) {
    e.parallel = false;
    int np = clamp_count(in.npoints, kEngineDerivPoints);
    np =
        std::min({np, static_cast<int>(in.x.size()), static_cast<int>(in.y.size()), static_cast<int>(in.sigma.size())});
    // The kept terms and values belong to the abscissae they were computed
    // at (bit for bit).
    if (np != e.npoints ||
        (np > 0 && std::memcmp(e.x.data(), in.x.data(), static_cast<std::size_t>(np) * sizeof(float)) != 0)) {
        e.terms_of = nullptr;
        e.values_kept = false;
    }
    e.npoints = np;
    for (int i = 0; i < np; ++i) {
        e.x[i] = in.x[i];
        e.y[i] = in.y[i];
        e.sigma[i] = in.sigma[i];
    }
    int npar = clamp_count(in.nparams, kEngineParams);
    npar = std::min({npar, static_cast<int>(in.params.size()), static_cast<int>(in.masks.size())});
    e.nparams = npar;
    for (int k = 0; k < npar; ++k) {
        e.a[k] = in.params[k];
        e.mask[k] = in.masks[k];
    }
    // Parameters beyond the count are not the caller's business but the
    // model still sees all 50 slots: hand it the caller's values there too.
    for (int k = npar; k < kEngineParams && k < static_cast<int>(in.params.size()); ++k) e.a[k] = in.params[k];
    e.weight_mode = in.mode - 10 * (in.mode / 10);
    e.dump = (in.mode - e.weight_mode) / 10;
}

double working_chi_square(EngineState& e, OutputSink& out, ModelRef model) {
    int dof = e.npoints - active_mask_count(e);
    if (dof <= 0) {
        out.line("Too few data points for meaningful fit!");
        dof = 1;
    }
    compute_points(e, model, false);
    double sum = 0.0;
    for (int i = 0; i < e.npoints; ++i) {
        double y = e.y[i];
        if (std::fabs(y) > 1e20) y = 1e20;
        if (std::fabs(y) < 1e-20) y = 1e-20;
        const double f = e.model[i];
        double d = y - f * e.scale;
        if (std::fabs(d) < 1e-20) continue;
        if (std::fabs(d) > 1e20) d = 1e20;
        sum += d * d / variance(e, i, f);
    }
    return sum / dof;
}

double chi_square(EngineState& e, OutputSink& out, const EngineInputs& in) {
    load_working_copy(e, in);
    if (e.dump != 0) print_dump(e, out);
    return working_chi_square(e, out, in.model);
}

double chi_square_sum(std::span<const float> x, std::span<const float> y, std::span<const float> sigma, int npoints,
                      ModelRef model, std::span<const double> params) {
    const std::size_t n = std::min({static_cast<std::size_t>(std::max(npoints, 0)), x.size(), y.size(), sigma.size()});
    double sum = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const float value = static_cast<float>(model(params, x[i]));
        const float r = y[i] - value;
        if (sigma[i] == 0.0f) {
            sum += r * r;
        } else {
            const float w = r / sigma[i];
            sum += w * w;
        }
    }
    return sum;
}

namespace {

// Largest magnitude among v[0..n), NaN entries passed over; 0 if none.
double max_magnitude(const double* v, int n) {
    int j = 0;
#if defined(__SSE2__)
    const __m128d sign = _mm_set1_pd(-0.0);
    __m128d m0 = _mm_setzero_pd(), m1 = _mm_setzero_pd();
    // _mm_max_pd(a, m) is a > m ? a : m, so a NaN in a leaves m as it was.
    for (; j + 4 <= n; j += 4) {
        m0 = _mm_max_pd(_mm_andnot_pd(sign, _mm_loadu_pd(v + j)), m0);
        m1 = _mm_max_pd(_mm_andnot_pd(sign, _mm_loadu_pd(v + j + 2)), m1);
    }
    m0 = _mm_max_pd(m1, m0);
    alignas(16) double lanes[2];
    _mm_store_pd(lanes, m0);
    double big = lanes[0] > lanes[1] ? lanes[0] : lanes[1];
#else
    double big = 0.0;
#endif
    for (; j < n; ++j) {
        const double a = std::fabs(v[j]);
        if (a > big) big = a;
    }
    return big;
}

using Matrix = std::array<std::array<double, kEngineParams>, kEngineParams>;

#if defined(TARVA_AVX)
// max_magnitude() four entries at a time.
__attribute__((target("avx"))) double max_magnitude_avx(const double* v, int n) {
    int j = 0;
    const __m256d sign = _mm256_set1_pd(-0.0);
    __m256d m0 = _mm256_setzero_pd(), m1 = _mm256_setzero_pd();
    // _mm256_max_pd(a, m) is a > m ? a : m, so a NaN in a leaves m as it was.
    for (; j + 8 <= n; j += 8) {
        m0 = _mm256_max_pd(_mm256_andnot_pd(sign, _mm256_loadu_pd(v + j)), m0);
        m1 = _mm256_max_pd(_mm256_andnot_pd(sign, _mm256_loadu_pd(v + j + 4)), m1);
    }
    for (; j + 4 <= n; j += 4) m0 = _mm256_max_pd(_mm256_andnot_pd(sign, _mm256_loadu_pd(v + j)), m0);
    m0 = _mm256_max_pd(m1, m0);
    alignas(32) double lanes[4];
    _mm256_store_pd(lanes, m0);
    double big = 0.0;
    for (double l : lanes)
        if (l > big) big = l;
    for (; j < n; ++j) {
        const double a = std::fabs(v[j]);
        if (a > big) big = a;
    }
    return big;
}
#endif

// The largest magnitude of each row i >= k from column k on, into
// row_big[i]; the largest of them returned.
double row_maxima(const Matrix& m, int k, int n, double* row_big) {
    double big = 0.0;
#if defined(TARVA_AVX)
    if (has_avx()) {
        for (int i = k; i < n; ++i) {
            row_big[i] = max_magnitude_avx(m[i].data() + k, n - k);
            big = std::max(big, row_big[i]);
        }
        return big;
    }
#endif
    for (int i = k; i < n; ++i) {
        row_big[i] = max_magnitude(m[i].data() + k, n - k);
        big = std::max(big, row_big[i]);
    }
    return big;
}

// Row i += m[i][k] * row k for every row i but k, entry by entry rounded as
// the plain loop rounds it (a product, then a sum; no fused multiply-add),
// column k of each row (its multiplier) put back afterwards.
void eliminate_plain(Matrix& m, int k, int n) {
    const double* pivot = m[k].data();
    for (int i = 0; i < n; ++i) {
        if (i == k) continue;
        double* row = m[i].data();
        const double f = row[k];
        int j = 0;
#if defined(__SSE2__) && !defined(__FMA__)
        const __m128d ff = _mm_set1_pd(f);
        for (; j + 2 <= n; j += 2)
            _mm_storeu_pd(row + j, _mm_add_pd(_mm_loadu_pd(row + j), _mm_mul_pd(ff, _mm_loadu_pd(pivot + j))));
#endif
        for (; j < n; ++j) row[j] += f * pivot[j];
        row[k] = f;
    }
}

#if defined(TARVA_AVX)
// The same with four entries at a time, for processors that have AVX (no
// fused multiply-add is enabled here, so every entry rounds as before).
__attribute__((target("avx"))) void eliminate_avx(Matrix& m, int k, int n) {
    const double* pivot = m[k].data();
    for (int i = 0; i < n; ++i) {
        if (i == k) continue;
        double* row = m[i].data();
        const double f = row[k];
        const __m256d ff = _mm256_set1_pd(f);
        int j = 0;
        for (; j + 4 <= n; j += 4)
            _mm256_storeu_pd(row + j,
                             _mm256_add_pd(_mm256_loadu_pd(row + j), _mm256_mul_pd(ff, _mm256_loadu_pd(pivot + j))));
        for (; j < n; ++j) row[j] += f * pivot[j];
        row[k] = f;
    }
}
#endif

void eliminate(Matrix& m, int k, int n) {
#if defined(TARVA_AVX)
    if (has_avx()) {
        eliminate_avx(m, k, n);
        return;
    }
#endif
    eliminate_plain(m, k, n);
}

} // namespace

bool invert_matrix(Matrix& m, int n) {
    std::array<int, kEngineParams> pivot_row{};
    std::array<int, kEngineParams> pivot_col{};
    std::array<double, kEngineParams> row_big{};
    for (int k = 0; k < n; ++k) {
        // The pivot is the last entry (row by row) of largest magnitude, NaN
        // never chosen. The largest magnitude is found first (a maximum does
        // not depend on the order of comparison), then its last position.
        const double big = row_maxima(m, k, n, row_big.data());
        if (big == 0.0) return false;
        int r = n - 1;
        while (row_big[r] != big) --r;
        int c = n - 1;
        while (!(std::fabs(m[r][c]) == big)) --c;
        const double amax = m[r][c];
        pivot_row[k] = r;
        pivot_col[k] = c;
        if (r > k)
            for (int j = 0; j < n; ++j) {
                const double save = m[k][j];
                m[k][j] = m[r][j];
                m[r][j] = -save;
            }
        if (c > k)
            for (int i = 0; i < n; ++i) {
                const double save = m[i][k];
                m[i][k] = m[i][c];
                m[i][c] = -save;
            }
        for (int i = 0; i < n; ++i)
            if (i != k) m[i][k] = -m[i][k] / amax;
        // Column k of each row holds its multiplier.
        eliminate(m, k, n);
        // The pivot row divided two entries at a time (each quotient
        // rounds as one alone); its own entry is then replaced.
        int j = 0;
#if defined(__SSE2__)
        const __m128d amax2 = _mm_set1_pd(amax);
        for (; j + 2 <= n; j += 2) _mm_storeu_pd(&m[k][j], _mm_div_pd(_mm_loadu_pd(&m[k][j]), amax2));
#endif
        for (; j < n; ++j) m[k][j] /= amax;
        m[k][k] = 1.0 / amax;
    }
    for (int k = n - 1; k >= 0; --k) {
        const int r = pivot_row[k];
        if (r > k)
            for (int i = 0; i < n; ++i) {
                const double save = m[i][k];
                m[i][k] = -m[i][r];
                m[i][r] = save;
            }
        const int c = pivot_col[k];
        if (c > k)
            for (int j = 0; j < n; ++j) {
                const double save = m[k][j];
                m[k][j] = -m[c][j];
                m[c][j] = save;
            }
    }
    return true;
}

bool iteration_step(EngineState& e, OutputSink& out, ModelRef model, std::span<double> errors) {
    normal_equations(e, out, model);
    const int n = e.nvaried;
    if (!invert_matrix(e.alpha, n)) {
        out.line("     zero determinant !\a");
        return false;
    }
    for (int p = 0; p < n; ++p) {
        double s = 0.0;
        for (int q = 0; q < n; ++q) s += e.alpha[p][q] * e.beta[q];
        e.step[p] = s;
    }
    for (int p = 0; p < n; ++p) e.a[e.varied[p]] += e.step[p];
    const int ne = std::min(e.nparams, static_cast<int>(errors.size()));
    for (int k = 0; k < ne; ++k) errors[k] = 0.0;
    for (int p = 0; p < n; ++p)
        if (e.varied[p] < ne) errors[e.varied[p]] = std::sqrt(std::fabs((1.0 + e.lambda) * e.alpha[p][p]));
    return true;
}

namespace {

void update_scale(EngineState& e, OutputSink& out, ModelRef model) {
    if (e.weight_mode != 3) {
        e.scale = 1.0;
        return;
    }
    double s1 = 0.0, s2 = 0.0;
    std::span<const double> a(e.a);
    for (int i = 0; i < e.npoints; ++i) {
        if (std::fabs(static_cast<double>(e.sigma[i])) > 1e-25) {
            const double f = model(a, e.x[i]) / e.sigma[i];
            const double g = e.y[i] / e.sigma[i];
            s1 += f * g;
            s2 += f * f;
        } else {
            const double add = e.no_error_bars ? 1.0 : 1e10;
            s1 += add;
            s2 += add;
        }
    }
    if (std::fabs(s2) > 1e-30) {
        e.scale = s1 / s2;
    } else {
        out.line("Infinite Weight!\a");
        e.scale = 1e30;
    }
}

} // namespace

bool fit(EngineState& e, OutputSink& out, const EngineInputs& in, std::span<double> params, std::span<double> errors,
         int& iterations, int& max_iterations, StopQuery stop) {
    load_working_copy(e, in);
    share_with_helper(e, in.model);
    if (e.dump != 0) print_dump(e, out);
    bool any_error_bar = false;
    for (int i = 0; i < e.npoints; ++i)
        if (e.sigma[i] > 1e-15) any_error_bar = true;
    if (!any_error_bar) {
        e.no_error_bars = 1;
        out.line("No error bars: Using unweighted chi-squares.");
    } else {
        e.no_error_bars = 0;
    }
    e.lambda = 1.0;
    ModelRef model = in.model;
    double chi_old = working_chi_square(e, out, model);
    iterations = 0;
    if (max_iterations <= 0) max_iterations = 100;
    bool finished = true;
    for (;;) {
        if (stop && stop()) {
            finished = false;
            break;
        }
        if (chi_old < kSmallChi && chi_old < kSmallChi * e.lambda) e.lambda = chi_old / kSmallChi;
        const bool ok = iteration_step(e, out, model, errors);
        const double chi_new = working_chi_square(e, out, model);
        ++iterations;
        if (iterations >= max_iterations || !ok) break;
        update_scale(e, out, model);
        if (e.weight_mode == 3)
            out.line("Iteration " + format_I(iterations, 3) + " mode = " + format_I(e.weight_mode, 1) +
                     " Fcweight = " + format_G(e.scale, 13, 5, 1));
        else
            out.line("Iteration " + format_I(iterations, 3) + "  mode " + format_I(e.weight_mode, 1) +
                     "  chi-sq = " + format_G(chi_new, 12, 5, 1));
        if (e.dump != 0) {
            out.line(" FIT: chi=" + format_G(chi_new, 10, 3, 1) + " grad=" + format_G(e.lambda, 8, 1, 1));
            std::span<const double> a(e.a);
            for (int j = 0; j < e.nparams; j += 5)
                out.line("    A= " + values_line(a, static_cast<std::size_t>(j),
                                                 static_cast<std::size_t>(std::min(e.nparams, j + 5))));
        }
        if (chi_new < kImproved * chi_old) e.lambda *= kEaseDamping;
        if (chi_new > kWorsened * chi_old) e.lambda *= kRaiseDamping;
        if (chi_new < kChiFloor) break;
        if (std::fabs(chi_new - chi_old) < kSettled * chi_new && chi_new <= chi_old && e.lambda < kSettledDamping)
            break;
        // A chi-square that is not a number never meets the rule above:
        // further steps cannot recover, so stop instead of running on.
        if (std::isnan(chi_new)) break;
        chi_old = chi_new;
    }
    const int nb = std::min(e.nparams, static_cast<int>(params.size()));
    for (int k = 0; k < nb; ++k) params[k] = e.a[k];
    return finished;
}

void correlation_matrix(EngineState& e, OutputSink& out, const EngineInputs& in) {
    load_working_copy(e, in);
    if (e.dump != 0) print_dump(e, out);
    find_varied(e);
    std::array<std::array<double, kEngineParams>, kEngineParams> c{};
    std::array<double, kEngineParams> s{};
    compute_points(e, in.model, true);
    const int n = e.nvaried;
    for (int i = 0; i < e.npoints; ++i) {
        const auto& d = e.point_deriv[i];
        for (int p = 0; p < n; ++p) {
            const int kp = e.varied[p];
            s[kp] += d[p] * d[p];
            for (int q = p; q < n; ++q) c[kp][e.varied[q]] += d[p] * d[q];
        }
    }
    const int np = e.nparams;
    for (int p = 0; p < np; ++p)
        for (int q = p; q < np; ++q) {
            const double t = std::sqrt(std::fabs(s[p] * s[q]));
            if (t != 0.0) {
                c[p][q] /= t;
                c[q][p] = c[p][q];
            }
        }
    print_correlation_layout(out, "         CORRELATION MATRIX :", c, np);
}

void print_correlation_layout(OutputSink& out, const std::string& title,
                              const std::array<std::array<double, kEngineParams>, kEngineParams>& c, int np) {
    out.line(title);
    for (int b1 = 1; b1 <= np; b1 += 21) {
        const int b2 = std::min(b1 + 20, np);
        out.blank_line();
        std::string head = " ";
        for (int j = b1; j <= b2; ++j) head += "    " + format_I(j, 2);
        out.line(head);
        for (int u = 1; u <= np; ++u) {
            const int v = std::min(u, b2);
            std::string row = format_I(u, 2);
            for (int j = b1; j <= v; ++j) row += " " + format_F(c[u - 1][j - 1], 5, 2);
            out.line(row);
        }
    }
}

void select_varied(EngineState& e) { find_varied(e); }

void point_values(EngineState& e, ModelRef model) { compute_points(e, model, false); }

void point_derivatives(EngineState& e, ModelRef model) {
    find_varied(e);
    compute_points(e, model, true);
}

double point_variance(const EngineState& e, int i, double model_value) { return variance(e, i, model_value); }

int active_mask_count(const EngineState& e) {
    int n = 0;
    for (int m : e.mask)
        if (m != 0) ++n;
    return n;
}

} // namespace tarva
