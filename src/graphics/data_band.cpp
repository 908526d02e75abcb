#include "graphics/data_band.h"

#include <algorithm>
#include <cmath>

namespace tarva {

bool denser_than_symbols(std::span<const BandPoint> points, float symbol_width) {
    if (points.size() < 3 || !(symbol_width > 0.0f)) return false;
    std::vector<float> xs;
    xs.reserve(points.size());
    for (const BandPoint& p : points) xs.push_back(p.x);
    std::sort(xs.begin(), xs.end());
    std::vector<float> gaps;
    gaps.reserve(xs.size() - 1);
    for (std::size_t i = 1; i < xs.size(); ++i) gaps.push_back(xs[i] - xs[i - 1]);
    const auto middle = gaps.begin() + static_cast<std::ptrdiff_t>(gaps.size() / 2);
    std::nth_element(gaps.begin(), middle, gaps.end());
    return std::fabs(*middle) < std::fabs(symbol_width);
}

BandLayout layout_band(std::vector<BandPoint> points, const SymbolFrame& window, bool log_y) {
    BandLayout b;
    std::stable_sort(points.begin(), points.end(), [](const BandPoint& p, const BandPoint& q) { return p.x < q.x; });
    const float xlo = std::min(window.xmin, window.xmax), xhi = std::max(window.xmin, window.xmax);
    const float ylo = std::min(window.ymin, window.ymax), yhi = std::max(window.ymin, window.ymax);
    std::vector<std::pair<float, float>> upper, lower;
    auto end_area = [&] {
        if (upper.size() >= 2) {
            std::vector<std::pair<float, float>> area = std::move(upper);
            area.insert(area.end(), lower.rbegin(), lower.rend());
            b.areas.push_back(std::move(area));
        }
        upper.clear();
        lower.clear();
    };
    bool down = false;
    for (const BandPoint& p : points) {
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !(p.x >= xlo && p.x <= xhi)) continue;
        const bool inside = p.y >= ylo && p.y <= yhi;
        b.line.push_back({p.x, std::clamp(p.y, ylo, yhi), inside && down ? 2 : 3});
        down = inside;
        float low = 0.0f, high = 0.0f;
        const float e = std::isfinite(p.err) ? std::fabs(p.err) : 0.0f;
        if (!error_bar_ends(std::clamp(p.y, ylo, yhi), e, log_y, ylo, yhi, low, high)) {
            end_area();
            continue;
        }
        upper.emplace_back(p.x, high);
        lower.emplace_back(p.x, low);
    }
    end_area();
    return b;
}

} // namespace tarva
