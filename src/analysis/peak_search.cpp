#include "analysis/peak_search.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tarva {

namespace {

// The search runs twice: with a kernel of the expected peak's own width
// (standard deviation), which keeps weak peaks beside strong ones apart,
// and with one this many times wider, whose significance is a third
// higher for an isolated peak and which also finds peaks somewhat broader
// than the narrowest (the significance grows with the kernel up to about
// twice the peak's width; two peaks 1.5 FWHM apart stay two maxima up to
// about 1.6 times).
constexpr double kSmoothing = 1.5;

// The second difference of a sampled Gaussian of standard deviation
// `sigma` points, negated: k(j) = -(g(j-1) - 2 g(j) + g(j+1)), g summing to
// one. It sums to zero (the terms telescope) and is symmetric, so constant
// and straight backgrounds give no response.
struct Kernel {
    double sigma = 0.0;
    double variance = 0.0; // of the sampled Gaussian, plus 1/6 for the second difference
    int half = 0;          // k(j) for -half <= j <= half
    std::vector<double> k; // index j + half
    std::vector<double> k2;
};

Kernel make_kernel(double sigma) {
    Kernel kn;
    kn.sigma = sigma;
    const int m = std::max(1, static_cast<int>(std::ceil(3.5 * sigma)));
    std::vector<double> g(static_cast<std::size_t>(2 * m + 1));
    double sum = 0.0;
    for (int j = -m; j <= m; ++j) sum += g[static_cast<std::size_t>(j + m)] = std::exp(-0.5 * j * j / (sigma * sigma));
    double var = 0.0;
    for (int j = -m; j <= m; ++j) {
        g[static_cast<std::size_t>(j + m)] /= sum;
        var += j * j * g[static_cast<std::size_t>(j + m)];
    }
    // The second difference of samples is the second derivative of the
    // function smoothed by a unit triangle, whose variance is 1/6.
    kn.variance = var + 1.0 / 6.0;
    kn.half = m + 1;
    auto gat = [&](int j) { return j < -m || j > m ? 0.0 : g[static_cast<std::size_t>(j + m)]; };
    kn.k.resize(static_cast<std::size_t>(2 * kn.half + 1));
    kn.k2.resize(kn.k.size());
    for (int j = -kn.half; j <= kn.half; ++j) {
        const double v = -(gat(j - 1) - 2.0 * gat(j) + gat(j + 1));
        kn.k[static_cast<std::size_t>(j + kn.half)] = v;
        kn.k2[static_cast<std::size_t>(j + kn.half)] = v * v;
    }
    return kn;
}

// The response of the kernel to a Gaussian of height 1 and standard
// deviation `sp` points centred `offset` points from the kernel's centre.
double unit_response(const Kernel& kn, double sp, double offset) {
    double r = 0.0;
    for (int j = -kn.half; j <= kn.half; ++j) {
        const double u = (j - offset) / sp;
        r += kn.k[static_cast<std::size_t>(j + kn.half)] * std::exp(-0.5 * u * u);
    }
    return r;
}

// The filtered counts and their standard deviations on a grid of points
// lo, lo + stride, ... where the whole kernel lies on the data. Grid index
// g stands for point lo + g * stride.
struct Response {
    std::vector<double> f, sd;
    int lo = 0, stride = 1;
    int size() const { return static_cast<int>(f.size()); }
    int point(int g) const { return lo + g * stride; }
    double at(int g) const { return f[static_cast<std::size_t>(g)]; }
    double noise(int g) const { return sd[static_cast<std::size_t>(g)]; }
    double z(int g) const { return noise(g) > 0.0 ? at(g) / noise(g) : 0.0; }
};

Response filter(const Kernel& kn, const std::vector<double>& y, const std::vector<double>& var, int stride) {
    const int n = static_cast<int>(y.size());
    Response r;
    r.lo = kn.half;
    r.stride = stride;
    const int hi = n - 1 - kn.half;
    if (hi < r.lo) return r;
    const std::size_t count = static_cast<std::size_t>((hi - r.lo) / stride + 1);
    r.f.assign(count, 0.0);
    r.sd.assign(count, 0.0);
    const std::size_t step = static_cast<std::size_t>(stride);
    const std::size_t taps = kn.k.size();
    if (step == 1) {
        // Tap by tap over all points, two at a time as one vector (GCC's
        // vector extension: SSE2 on x86-64): nothing is carried from one
        // point to the next. At -O2 the compiler does not vectorise the
        // plain loop itself, and this loop is most of a search's time.
        using Pair = double __attribute__((vector_size(16)));
        auto load = [](const double* p) {
            Pair v;
            std::memcpy(&v, p, sizeof v);
            return v;
        };
        for (std::size_t t = 0; t < taps; ++t) {
            const double k = kn.k[t], k2 = kn.k2[t];
            const double* yt = y.data() + t;
            const double* vt = var.data() + t;
            double* f = r.f.data();
            double* v = r.sd.data();
            std::size_t i = 0;
            for (; i + 2 <= count; i += 2) {
                const Pair fi = load(f + i) + k * load(yt + i);
                const Pair vi = load(v + i) + k2 * load(vt + i);
                std::memcpy(f + i, &fi, sizeof fi);
                std::memcpy(v + i, &vi, sizeof vi);
            }
            for (; i < count; ++i) {
                f[i] += k * yt[i];
                v[i] += k2 * vt[i];
            }
        }
    } else {
        // Point by point on the coarse grid, over the taps in order.
        for (std::size_t i = 0; i < count; ++i) {
            const double* __restrict yi = y.data() + i * step;
            const double* __restrict vi = var.data() + i * step;
            double f0 = 0.0, f1 = 0.0, v0 = 0.0, v1 = 0.0;
            std::size_t t = 0;
            for (; t + 2 <= taps; t += 2) {
                f0 += kn.k[t] * yi[t];
                f1 += kn.k[t + 1] * yi[t + 1];
                v0 += kn.k2[t] * vi[t];
                v1 += kn.k2[t + 1] * vi[t + 1];
            }
            for (; t < taps; ++t) {
                f0 += kn.k[t] * yi[t];
                v0 += kn.k2[t] * vi[t];
            }
            r.f[i] = f0 + f1;
            r.sd[i] = v0 + v1;
        }
    }
    for (double& v : r.sd) v = std::sqrt(v);
    return r;
}

// Grid indices of the local maxima of the response on points first..last
// at or above the threshold, ascending.
std::vector<int> maxima(const Response& r, int first, int last, double threshold) {
    std::vector<int> m;
    for (int g = 1; g + 1 < r.size(); ++g) {
        const int p = r.point(g);
        if (p < first || p > last) continue;
        if (r.at(g) > r.at(g - 1) && r.at(g) >= r.at(g + 1) && r.z(g) >= threshold) m.push_back(g);
    }
    return m;
}

// How far (points, interpolated) the response falls to zero from the
// maximum at grid index g going in direction dir; -1 when it turns up again
// first (a neighbour) or the grid ends.
double zero_crossing(const Response& r, int g, int dir) {
    for (int j = g; j + dir >= 0 && j + dir < r.size(); j += dir) {
        const double a = r.at(j), b = r.at(j + dir);
        if (b <= 0.0) return (std::abs(j - g) + a / (a - b)) * r.stride;
        if (b > a) return -1.0;
    }
    return -1.0;
}

// A Gaussian's response crosses zero one standard deviation of the peak and
// the kernel combined away from its centre: the peak's own standard
// deviation from the half distance h between the crossings.
double sigma_from_half_distance(double h, const Kernel& kn) {
    const double v = h * h - kn.variance;
    return v > 0.09 ? std::sqrt(v) : 0.3;
}

// The width (standard deviation, points) of the peak at maximum g when it
// is well separated: the response falls to zero on both sides, at
// distances that agree within 30 %. 0 otherwise.
double separated_sigma(const Response& r, const Kernel& kn, int g) {
    const double left = zero_crossing(r, g, -1), right = zero_crossing(r, g, 1);
    if (left <= 0.0 || right <= 0.0 || std::max(left, right) > 1.3 * std::min(left, right)) return 0.0;
    return sigma_from_half_distance(0.5 * (left + right), kn);
}

// The narrowest of the widths that another estimate confirms (within
// 15 %: the same peak at the next kernel width, or a peak as wide), so that
// one estimate thrown low by the noise does not decide; the median when
// none is confirmed. 0 when there are none.
double narrowest(std::vector<double> widths) {
    if (widths.empty()) return 0.0;
    std::sort(widths.begin(), widths.end());
    for (std::size_t i = 0; i + 1 < widths.size(); ++i)
        if (widths[i + 1] <= 1.15 * widths[i]) return widths[i];
    return widths[widths.size() / 2];
}

// The grid step at which a kernel of this width is still sampled finely
// enough to find its maxima and zero crossings while the width is being
// estimated.
int estimation_stride(double sigma) { return std::max(1, static_cast<int>(sigma / 3.0)); }

// Width estimates of strong well-separated peaks: those with no other
// maximum within three FWHM apart from the members of resolved doublets,
// whose neighbour's negative lobe makes them look narrower.
struct WidthEstimates {
    std::vector<double> isolated, separated;
    void add(const Response& r, const Kernel& kn, const std::vector<int>& all, std::size_t a) {
        const int g = all[a];
        const double sp = separated_sigma(r, kn, g);
        if (sp <= 0.0) return;
        // Three FWHM, of the peak or of a peak the kernel is matched to if
        // that is wider: a neighbour's lobe narrows the estimate itself.
        const double reach = 3.0 * kFwhmPerSigma * std::max(sp, kn.sigma);
        const bool alone = (a == 0 || (g - all[a - 1]) * r.stride > reach) &&
                           (a + 1 == all.size() || (all[a + 1] - g) * r.stride > reach);
        (alone ? isolated : separated).push_back(sp);
    }
    // The isolated peaks' narrowest, unless doublet members are less than
    // half as wide: then the "isolated" peaks are blends seen at a coarse
    // scale, which finer kernels resolve.
    double narrowest_one() const {
        const double alone = narrowest(isolated), paired = narrowest(separated);
        return alone <= 0.0 || (paired > 0.0 && paired < 0.5 * alone) ? paired : alone;
    }
};

// The expected peak width (standard deviation, points) from the spectrum.
// A ladder of kernel widths runs over the region; at each, the strong
// well-separated peaks whose width matches the kernel's (the scale at which
// they stand out most) give estimates, and the narrowest of them is refined
// by searching again at the width found until it settles. Without such
// peaks the scale at which the strongest peak stands out most is taken.
// 0 when no scale shows a peak at the threshold. The wide kernels are
// evaluated on a coarser grid, so every rung costs about the same.
double estimate_sigma(const std::vector<double>& y, const std::vector<double>& var, int first, int last,
                      double threshold) {
    const int n = static_cast<int>(y.size());
    double best_z = 0.0, best_scale = 0.0;
    WidthEstimates matched;
    // Peaks wider than about a tenth of the region are not looked for.
    const double widest = std::max((last - first + 1) / 24.0, 0.8);
    for (double s = 0.8; s <= widest; s *= 1.5) {
        // Far beyond the width of well-separated strong peaks already
        // measured, wider kernels only blur them.
        if (!matched.isolated.empty() && s > 3.0 * *std::min_element(matched.isolated.begin(), matched.isolated.end()))
            break;
        const Kernel kn = make_kernel(s);
        if (2 * kn.half + 3 > n) break;
        const Response r = filter(kn, y, var, estimation_stride(s));
        const std::vector<int> all = maxima(r, first, last, 3.0);
        for (std::size_t a = 0; a < all.size(); ++a) {
            const int g = all[a];
            if (r.z(g) < threshold) continue;
            if (r.z(g) > best_z) {
                best_z = r.z(g);
                best_scale = s;
            }
            if (r.z(g) < 2.0 * threshold) continue;
            WidthEstimates one;
            one.add(r, kn, all, a);
            for (double sp : one.isolated)
                if (sp >= 0.6 * s && sp <= 1.7 * s) matched.isolated.push_back(sp);
            for (double sp : one.separated)
                if (sp >= 0.6 * s && sp <= 1.7 * s) matched.separated.push_back(sp);
        }
    }
    if (best_scale == 0.0) return 0.0;
    double sigma = matched.isolated.empty() && matched.separated.empty() ? best_scale : matched.narrowest_one();
    for (int round = 0; round < 4; ++round) {
        const Kernel kn = make_kernel(sigma);
        if (2 * kn.half + 3 > n) break;
        const Response r = filter(kn, y, var, estimation_stride(sigma));
        const std::vector<int> all = maxima(r, first, last, 3.0);
        double zmax = 0.0;
        for (int g : all) zmax = std::max(zmax, r.z(g));
        WidthEstimates widths;
        for (std::size_t a = 0; a < all.size(); ++a)
            if (r.z(all[a]) >= std::max(2.0 * threshold, 0.2 * zmax)) widths.add(r, kn, all, a);
        const double w = widths.narrowest_one();
        if (w <= 0.0) break;
        const double next = std::max(w, 0.5);
        const bool settled = std::abs(next - sigma) < 0.1 * sigma;
        sigma = next;
        if (settled) break;
    }
    return sigma;
}

// Maxima closer than one FWHM (points) are one peak, the stronger, unless
// the response dips between them by three standard deviations of the
// weaker one.
std::vector<int> merge_close(const Response& r, std::vector<int> m, double fwhm) {
    bool changed = true;
    while (changed && m.size() > 1) {
        changed = false;
        for (std::size_t a = 0; a + 1 < m.size(); ++a) {
            const int i = m[a], j = m[a + 1];
            if ((j - i) * r.stride >= fwhm) continue;
            const int weaker = r.at(i) < r.at(j) ? i : j;
            double dip = r.at(i);
            for (int k = i; k <= j; ++k) dip = std::min(dip, r.at(k));
            if (r.at(weaker) - dip >= 3.0 * r.noise(weaker)) continue;
            m.erase(m.begin() + static_cast<std::ptrdiff_t>(weaker == i ? a : a + 1));
            changed = true;
            break;
        }
    }
    return m;
}

// Near a neighbour, the response of a peak is that of the peak plus the
// neighbour's flank and lobe: its maximum moves away from the neighbour and
// its height changes. The responses of the neighbours, as Gaussians of the
// centres, heights and widths found, are taken off and each peak's centre
// and height found again from what is left, four times over.
void correct_for_neighbours(const Response& r, const Kernel& kn, const std::vector<int>& found,
                            std::vector<double>& centre, std::vector<double>& height,
                            const std::vector<double>& width) {
    const std::size_t m = found.size();
    for (int round = 0; round < 4; ++round) {
        std::vector<double> next_centre = centre, next_height = height;
        for (std::size_t i = 0; i < m; ++i) {
            // The grid point nearest the present centre (the grid of the
            // final search has a stride of one).
            const int g = std::clamp(static_cast<int>(std::lround(centre[i])) - r.lo, 1, r.size() - 2);
            if (std::abs(g - found[i]) > 3) continue;
            double f[3];
            bool near_any = false;
            for (int d = -1; d <= 1; ++d) {
                const double point = r.point(g + d);
                f[d + 1] = r.at(g + d);
                for (std::size_t j = 0; j < m; ++j) {
                    if (j == i) continue;
                    const double reach = 5.0 * std::sqrt(width[j] * width[j] + kn.variance) + kn.half;
                    if (std::fabs(centre[j] - point) > reach) continue;
                    f[d + 1] -= height[j] * unit_response(kn, width[j], centre[j] - point);
                    near_any = true;
                }
            }
            if (!near_any) continue;
            const double curvature = f[0] - 2.0 * f[1] + f[2];
            if (!(curvature < 0.0)) continue;
            const double offset = std::clamp(0.5 * (f[0] - f[2]) / curvature, -1.0, 1.0);
            next_centre[i] = r.point(g) + offset;
            const double unit = unit_response(kn, width[i], offset);
            if (unit > 0.0 && f[1] > 0.0) next_height[i] = f[1] / unit;
        }
        centre = next_centre;
        height = next_height;
    }
}

struct Candidate {
    double centre, height, width, significance; // points, counts, standard deviation in points, sigma
};

// The peaks of one search: maxima of the response at the threshold (close
// ones merged), their centres, widths and heights, corrected for their
// neighbours.
std::vector<Candidate> peaks_at_scale(const Response& r, const Kernel& kn, int first, int last, double sp,
                                      double threshold) {
    const std::vector<int> found = merge_close(r, maxima(r, first, last, threshold), sp * kFwhmPerSigma);
    std::vector<double> centre, height, width;
    for (int g : found) {
        const double a = r.at(g - 1), b = r.at(g), c = r.at(g + 1);
        const double curvature = a - 2.0 * b + c;
        const double offset = curvature < 0.0 ? std::clamp(0.5 * (a - c) / curvature, -0.5, 0.5) : 0.0;
        // A strong well-separated peak's own width; a weak one, one close
        // to another (whose lobe shifts its crossings), or one whose
        // crossings give an unlikely width takes the expected width.
        double own = r.z(g) >= 2.0 * threshold ? separated_sigma(r, kn, g) : 0.0;
        if (own < 0.5 * sp || own > 2.5 * sp) own = sp;
        centre.push_back(r.point(g) + offset);
        width.push_back(own);
        height.push_back(b / unit_response(kn, own, offset));
    }
    correct_for_neighbours(r, kn, found, centre, height, width);
    std::vector<Candidate> out;
    for (std::size_t k = 0; k < found.size(); ++k) out.push_back({centre[k], height[k], width[k], r.z(found[k])});
    return out;
}

} // namespace

double x_at(std::span<const float> x, double position) {
    const int n = static_cast<int>(x.size());
    if (n == 0) return 0.0;
    if (n == 1) return x[0];
    const auto i = static_cast<std::size_t>(std::clamp(static_cast<int>(std::floor(position)), 0, n - 2));
    const double t = position - static_cast<double>(i);
    return x[i] + t * (static_cast<double>(x[i + 1]) - x[i]);
}

double x_step_at(std::span<const float> x, double position) {
    const int n = static_cast<int>(x.size());
    if (n < 2) return 1.0;
    const auto i = static_cast<std::size_t>(std::clamp(static_cast<int>(std::floor(position)), 0, n - 2));
    return std::abs(static_cast<double>(x[i + 1]) - x[i]);
}

PeakSearchResult find_peaks(std::span<const float> x, std::span<const float> y, std::span<const float> sigma, int first,
                            int last, const PeakSearchOptions& options) {
    PeakSearchResult result;
    const int n = static_cast<int>(std::min({x.size(), y.size(), sigma.size()}));
    first = std::max(first, 0);
    last = std::min(last, n - 1);
    if (last - first + 1 < kMinimumSearchPoints) {
        result.status = PeakSearchStatus::TooFewPoints;
        return result;
    }
    bool any = false;
    for (int i = first; i <= last; ++i) {
        const float c = y[static_cast<std::size_t>(i)];
        if (c < 0.0f) {
            result.status = PeakSearchStatus::NegativeCounts;
            return result;
        }
        any = any || c != 0.0f;
    }
    if (!any) {
        result.status = PeakSearchStatus::AllZero;
        return result;
    }
    const std::vector<double> counts(y.begin(), y.begin() + n);
    std::vector<double> var(static_cast<std::size_t>(n));
    for (std::size_t i = 0; i < var.size(); ++i) {
        const double s = sigma[i];
        var[i] = s > 0.0 ? s * s : std::max(std::abs(counts[i]), 1.0);
    }
    result.height_noise.assign(static_cast<std::size_t>(n), 0.0);

    double sp = options.fwhm_points > 0.0 ? options.fwhm_points / kFwhmPerSigma : 0.0;
    result.width_estimated = sp <= 0.0;
    if (sp <= 0.0) sp = estimate_sigma(counts, var, first, last, options.threshold);
    if (sp <= 0.0) return result; // nothing stands out at any width
    result.fwhm_points = sp * kFwhmPerSigma;

    // The search at both kernel widths: the narrow one's peaks, then those
    // of the wide one that stand apart from them.
    std::vector<Candidate> found;
    for (const double scale : {1.0, kSmoothing}) {
        const Kernel kn = make_kernel(std::max(scale * sp, 0.5));
        if (2 * kn.half + 3 > n) continue;
        const Response r = filter(kn, counts, var, 1);
        const double unit = unit_response(kn, sp, 0.0);
        for (int g = 0; g < r.size(); ++g) {
            double& noise = result.height_noise[static_cast<std::size_t>(r.point(g))];
            const double here = r.noise(g) / unit;
            noise = noise > 0.0 ? std::min(noise, here) : here;
        }
        for (const Candidate& c : peaks_at_scale(r, kn, first, last, sp, options.threshold))
            if (std::none_of(found.begin(), found.end(), [&](const Candidate& f) {
                    return std::fabs(f.centre - c.centre) < 0.5 * kFwhmPerSigma * sp;
                }))
                found.push_back(c);
    }
    std::sort(found.begin(), found.end(), [](const Candidate& a, const Candidate& b) { return a.centre < b.centre; });

    const std::span<const float> xs = x.first(static_cast<std::size_t>(n));
    for (const Candidate& c : found) {
        FoundPeak p;
        p.position = c.centre;
        p.significance = c.significance;
        p.fwhm_points = c.width * kFwhmPerSigma;
        p.height = c.height;
        p.area = kGaussianAreaFactor * p.height * p.fwhm_points;
        p.x = x_at(xs, p.position);
        p.fwhm_x = p.fwhm_points * x_step_at(xs, p.position);
        result.peaks.push_back(p);
    }
    return result;
}

} // namespace tarva
