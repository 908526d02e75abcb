#include "analysis/peak_seed.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace tarva {

LinePlusGaussians seed_line_plus_gaussians(std::span<const float> x, std::span<const float> y, int first, int last,
                                           std::span<const FoundPeak> peaks, double fwhm_points, int max_peaks) {
    LinePlusGaussians seed;
    const int n = static_cast<int>(std::min(x.size(), y.size()));
    first = std::max(first, 0);
    last = std::min(last, n - 1);
    const int region = last - first + 1;
    double a = 0.0, b = 0.0;
    if (region > 0) {
        const int k = std::clamp(static_cast<int>(std::lround(fwhm_points)), 1, std::max(1, region / 4));
        auto mean = [&](int from, double& mx, double& my) {
            mx = my = 0.0;
            for (int i = from; i < from + k; ++i) {
                mx += x[static_cast<std::size_t>(i)];
                my += y[static_cast<std::size_t>(i)];
            }
            mx /= k;
            my /= k;
        };
        double xl, yl, xr, yr;
        mean(first, xl, yl);
        mean(last - k + 1, xr, yr);
        b = xr != xl ? (yr - yl) / (xr - xl) : 0.0;
        a = yl - b * xl;
        if (xr == xl) a = 0.5 * (yl + yr);
    }
    seed.params = {a, b};

    std::vector<int> order(peaks.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int i, int j) {
        return peaks[static_cast<std::size_t>(i)].height > peaks[static_cast<std::size_t>(j)].height;
    });
    const std::size_t kept = std::min(order.size(), static_cast<std::size_t>(std::max(max_peaks, 0)));
    for (std::size_t i = order.size(); i > kept; --i) seed.left_out.push_back(order[i - 1]);
    order.resize(kept);
    std::sort(order.begin(), order.end(), [&](int i, int j) {
        return peaks[static_cast<std::size_t>(i)].x < peaks[static_cast<std::size_t>(j)].x;
    });
    for (int i : order) {
        const FoundPeak& p = peaks[static_cast<std::size_t>(i)];
        seed.params.insert(seed.params.end(), {p.height, p.x, p.fwhm_x});
    }
    seed.peaks = static_cast<int>(order.size());
    return seed;
}

} // namespace tarva
