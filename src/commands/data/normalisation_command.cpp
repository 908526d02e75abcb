// NORM: scales the data so that a region of X has a chosen height, by the
// mean Y of the region, by its maximum (H), or by its range above the
// minimum (B). The region and the height are kept between commands.
#include <cmath>
#include <optional>

#include "commands/commands.h"
#include "session/dialogue.h"
#include "session/session.h"
#include "text/format.h"

namespace tarva {

namespace {

constexpr double kTiny = 1e-10;

// Count, sum, maximum and minimum of Y over low <= X <= high, the limits
// compared in single precision as the data are stored.
struct RegionStats {
    int count = 0;
    double sum = 0.0;
    double max = 0.0;
    double min = 0.0;
};

RegionStats region_stats(const DataSet& d, double low, double high) {
    const float lo = static_cast<float>(low), hi = static_cast<float>(high);
    RegionStats r;
    for (std::size_t i = 0; i < static_cast<std::size_t>(d.count); ++i) {
        if (d.X[i] < lo || d.X[i] > hi) continue;
        const double y = d.Y[i];
        if (r.count == 0 || y > r.max) r.max = y;
        if (r.count == 0 || y < r.min) r.min = y;
        r.sum += y;
        ++r.count;
    }
    return r;
}

void report_height(Session& s) {
    s.out().line("Normalise to a height of " + g12(s.data.normalisation.height));
    s.out().blank_line();
}

// NORM/V: the height becomes the mean Y of a region the user gives.
void height_from_region(Session& s) {
    NormalisationSettings& n = s.data.normalisation;
    double low = n.low, high = n.high;
    const std::string prompt = "Region for average normalisation height (" + g12(low) + " to " + g12(high) + ") > ";
    if (!ask_number_pair(s, prompt, low, high)) return;
    if (std::fabs(low) + std::fabs(high) == 0.0) {
        s.out().line("Unable to determine normalisation height - no range specified.");
        return;
    }
    if (high < low) std::swap(low, high);
    n.low = low;
    n.high = high;
    const RegionStats r = region_stats(s.data, low, high);
    if (r.count == 0) {
        s.out().line("Unable to determine normalisation height - no points in region.");
        return;
    }
    n.height = r.sum / r.count;
    report_height(s);
}

// NORM, NORM/H ('H') and NORM/B ('B'): scales every point.
void normalise(Session& s, char mode) {
    const NormalisationSettings& n = s.data.normalisation;
    if (std::fabs(n.low) + std::fabs(n.high) <= kTiny) {
        s.out().line("Unable to normalise - no x-range specified.");
        return;
    }
    if (std::fabs(n.height) <= kTiny) {
        s.out().line("Unable to normalise - zero normalisation height.");
        return;
    }
    const RegionStats r = region_stats(s.data, n.low, n.high);
    if (r.count == 0) {
        s.out().line("Unable to normalise - no points in region.");
        return;
    }
    const double present = mode == ' ' ? r.sum / r.count : r.max;
    if (std::fabs(present) <= kTiny) {
        s.out().line("Unable to normalise - zero present height.");
        return;
    }
    double factor = n.height / present;
    double offset = 0.0;
    if (mode == 'B') {
        offset = r.min;
        if (std::fabs(r.max - r.min) <= kTiny) {
            s.out().line("Unable to normalise - zero present range.");
            return;
        }
        factor = n.height / (r.max - r.min);
        s.out().line("ymin: " + g13(r.min) + " ymax: " + g13(r.max) + " ynorm: " + g13(n.height));
        s.out().line("yoff: " + g13(offset) + " yfac: " + g13(factor));
    }
    DataSet& d = s.data;
    for (std::size_t i = 0; i < static_cast<std::size_t>(d.count); ++i) {
        d.SIGMA[i] = static_cast<float>(d.SIGMA[i] * factor);
        d.Y[i] = static_cast<float>((d.Y[i] - offset) * factor);
    }
    s.out().line("Normalisation complete - normalisation factor " + g12(factor));
    d.experiment.normalisation() = static_cast<float>(d.experiment.normalisation() * factor);
}

} // namespace

void cmd_norm(Session& s, CommandContext& ctx) {
    switch (ctx.qualifier) {
    case 'I':
        if (std::fabs(ctx.number) > kTiny) s.data.normalisation.height = ctx.number;
        report_height(s);
        return;
    case 'V': height_from_region(s); return;
    case ' ': normalise(s, ' '); return;
    case 'H':
        s.out().line(" Maximum height normalisation mode.");
        normalise(s, 'H');
        return;
    case 'B':
        s.out().line("Background subtraction and maximum height normalisation mode.");
        normalise(s, 'B');
        return;
    default:
        s.out().line("Unknown option.");
        s.out().blank_line();
        return;
    }
}

} // namespace tarva
