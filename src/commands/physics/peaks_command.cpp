// PEAKS: the peak search over the data set (plain PEAKS), the starting
// values of a line plus Gaussians for FIT/C (PEAKS/S), the X-ray lines and
// elements of the peaks (PEAKS/I), markers on the last picture (PEAKS/M)
// and the expected width (PEAKS/W). The search, the seeding and the naming
// are the library's (analysis/); this asks and reports.
#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "analysis/energy_scale.h"
#include "analysis/peak_search.h"
#include "analysis/peak_seed.h"
#include "analysis/xray_identification.h"
#include "commands/commands.h"
#include "commands/fit/session_model.h"
#include "commands/physics/xray_plot.h"
#include "plot/drawing.h"
#include "plot/plot.h"
#include "session/session.h"
#include "text/format.h"

namespace tarva {

namespace {

constexpr int kLinePlusGaussians = 18;

// A value in w columns with about six significant digits: fixed point
// while that reads well, else 1P E.
std::string number(double v, int w) {
    const double a = std::fabs(v);
    if (!std::isfinite(v) || (a != 0.0 && (a >= 1e7 || a < 1e-3))) return format_E(v, w, 3, 1);
    const int decimals = a == 0.0 ? 1 : std::clamp(5 - static_cast<int>(std::floor(std::log10(a))), 0, 4);
    return format_F(v, w, decimals);
}

std::string trimmed_number(double v) {
    std::string t = number(v, 0);
    return t.substr(std::min(t.find_first_not_of(' '), t.size()));
}

std::span<const float> xs(const Session& s) { return {s.data.X.data(), static_cast<std::size_t>(s.data.count)}; }
std::span<const float> ys(const Session& s) { return {s.data.Y.data(), static_cast<std::size_t>(s.data.count)}; }
std::span<const float> sigmas(const Session& s) {
    return {s.data.SIGMA.data(), static_cast<std::size_t>(s.data.count)};
}

struct Region {
    int first = 0, last = -1;
    double lo = 0.0, hi = 0.0;
    std::string where;
    bool whole = false;
};

// The points the search looks at: between markers 1 and 2 when both are
// set (not 0 and not equal), else the X range of the last picture, else
// the whole data set. Says which; nothing (and a message) when it holds no
// point.
std::optional<Region> search_region(Session& s) {
    Region r;
    const double m1 = s.markers.x[0], m2 = s.markers.x[1];
    if (m1 != 0.0 && m2 != 0.0 && m1 != m2) {
        r.lo = std::min(m1, m2);
        r.hi = std::max(m1, m2);
        r.where = "between markers 1 and 2";
    } else if (s.draw.picture_drawn) {
        r.lo = std::min(s.draw.old_xmin, s.draw.old_xmax);
        r.hi = std::max(s.draw.old_xmin, s.draw.old_xmax);
        r.where = "the plot window";
    } else {
        r.where = "the whole data set";
        r.whole = true;
    }
    int first = -1, last = -1;
    for (int i = 0; i < s.data.count; ++i) {
        const double x = s.data.X[static_cast<std::size_t>(i)];
        if (r.whole || (x >= r.lo && x <= r.hi)) {
            if (first < 0) first = i;
            last = i;
        }
    }
    if (r.whole && s.data.count > 0) {
        r.lo = std::min(s.data.X[0], s.data.X[static_cast<std::size_t>(s.data.count - 1)]);
        r.hi = std::max(s.data.X[0], s.data.X[static_cast<std::size_t>(s.data.count - 1)]);
    }
    if (first < 0) {
        if (r.whole)
            s.out().line("No data: nothing to search.");
        else
            s.out().line("No data points in the search region (" + r.where + ", X = " + trimmed_number(r.lo) + " to " +
                         trimmed_number(r.hi) + "): nothing searched.");
        return std::nullopt;
    }
    r.first = first;
    r.last = last;
    r.whole = first == 0 && last == s.data.count - 1;
    return r;
}

std::string calibration_text(const EnergyScale& e) {
    switch (e.kind) {
    case EnergyScale::Kind::Energy: return e.slope == 1.0 ? "X is energy in keV." : "X is energy in eV.";
    case EnergyScale::Kind::Linear:
        return "Energy calibration: E (keV) = " + trimmed_number(e.slope) + " * X " + (e.offset < 0.0 ? "- " : "+ ") +
               trimmed_number(std::fabs(e.offset)) + ".";
    case EnergyScale::Kind::None: break;
    }
    return "";
}

struct Search {
    PeakSearchResult result;
    Region region;
};

// Runs the search over the region and reports it; the peaks are kept for
// PEAKS/S, /I and /M. Nothing when the region could not be searched.
std::optional<Search> search(Session& s, CommandContext& ctx) {
    if (ctx.number > 0.0) s.peaks.threshold = ctx.number;
    const auto region = search_region(s);
    if (!region) return std::nullopt;
    const int points = region->last - region->first + 1;
    if (s.data.log_y != 0) {
        s.out().line("The Y values are logarithms: PEAKS works on counts. Nothing searched.");
        return std::nullopt;
    }
    PeakSearchOptions options;
    options.threshold = s.peaks.threshold;
    if (s.peaks.fwhm > 0.0 && points > 1) {
        const double step = std::fabs(static_cast<double>(s.data.X[static_cast<std::size_t>(region->last)]) -
                                      s.data.X[static_cast<std::size_t>(region->first)]) /
                            (points - 1);
        if (step > 0.0) options.fwhm_points = s.peaks.fwhm / step;
    }
    const PeakSearchResult r = find_peaks(xs(s), ys(s), sigmas(s), region->first, region->last, options);
    switch (r.status) {
    case PeakSearchStatus::TooFewPoints:
        s.out().line("Only" + free_int(points) + " points in the search region (" + region->where + "): at least" +
                     free_int(kMinimumSearchPoints) + " are needed. Nothing searched.");
        return std::nullopt;
    case PeakSearchStatus::AllZero:
        s.out().line("All counts in the search region (" + region->where + ") are zero: no peaks to find.");
        return std::nullopt;
    case PeakSearchStatus::NegativeCounts:
        s.out().line("Negative counts in the search region (" + region->where +
                     "): PEAKS works on counts. Nothing searched.");
        return std::nullopt;
    case PeakSearchStatus::Done: break;
    }
    s.out().line("Search region: " + region->where + ", X = " + trimmed_number(region->lo) + " to " +
                 trimmed_number(region->hi) + "," + free_int(points) + " points.");
    const EnergyScale scale = energy_scale(s.data);
    if (scale.known()) s.out().line(calibration_text(scale));
    const double step = r.peaks.empty() ? 0.0 : r.peaks.front().fwhm_x / r.peaks.front().fwhm_points;
    if (r.fwhm_points > 0.0) {
        std::string width = "Expected FWHM " + format_F(r.fwhm_points, 0, 2) + " points";
        if (step > 0.0 && step != 1.0) width += " (" + trimmed_number(r.fwhm_points * step) + " in X)";
        s.out().line(width + (r.width_estimated ? ", estimated from the spectrum" : ", as given by PEAKS/W") +
                     "; threshold " + format_F(s.peaks.threshold, 0, 1) + " sigma.");
    }
    s.peaks.searched = true;
    s.peaks.peaks = r.peaks;
    s.peaks.fwhm_points = r.fwhm_points;
    s.peaks.seeded = false;
    s.peaks.names.clear();
    s.peaks.named_centres.clear();
    if (r.peaks.empty()) {
        s.out().line("No peaks found at " + format_F(s.peaks.threshold, 0, 1) + " sigma.");
        s.out().blank_line();
        return Search{r, *region};
    }
    const bool energies = scale.known() && scale.kind == EnergyScale::Kind::Linear;
    s.out().blank_line();
    s.out().line(std::string(" Peak      Centre") + (energies ? "  Energy/keV" : "") +
                 "      Height        FWHM        Area  Signif.");
    for (std::size_t k = 0; k < r.peaks.size(); ++k) {
        const FoundPeak& p = r.peaks[k];
        s.out().line(format_I(static_cast<long long>(k) + 1, 5) + number(p.x, 12) +
                     (energies ? format_F(scale.energy(p.x), 12, 4) : "") + number(p.height, 12) +
                     number(p.fwhm_x, 12) + number(p.area, 12) + format_F(p.significance, 9, 1));
    }
    s.out().blank_line();
    s.out().line(format_I(static_cast<long long>(r.peaks.size()), 5) +
                 (r.peaks.size() == 1 ? " peak found." : " peaks found."));
    s.out().blank_line();
    return Search{r, *region};
}

// PEAKS/S: function 18 with the line from the region's edges and one
// Gaussian per peak, every parameter varied.
void seed(Session& s, CommandContext& ctx) {
    const auto found = search(s, ctx);
    if (!found) return;
    const PeakSearchResult& r = found->result;
    const Region& region = found->region;
    if (r.peaks.empty()) {
        s.out().line("Function and parameters unchanged.");
        return;
    }
    const LinePlusGaussians seed =
        seed_line_plus_gaussians(xs(s), ys(s), region.first, region.last, r.peaks, r.fwhm_points);
    if (!seed.left_out.empty())
        s.out().line("Function 18 takes" + free_int(kMaxSeedPeaks) + " peaks: the" +
                     free_int(static_cast<long long>(seed.left_out.size())) + " lowest of the" +
                     free_int(static_cast<long long>(r.peaks.size())) + " found are left out.");
    s.fit.function = kLinePlusGaussians;
    s.fit.nparams = static_cast<int>(seed.params.size());
    for (std::size_t k = 0; k < seed.params.size(); ++k) {
        s.fit.value[k] = seed.params[k];
        s.fit.error[k] = 0.0;
        s.fit.mask[k] = 1;
    }
    SessionModel model(s);
    model(std::span<const double>(s.fit.value), 0.0f); // the names of the new parameters
    s.out().line("Function 18 selected: " + std::string(trimmed(s.fit.function_name().view())) + ",");
    s.out().line("the line from the ends of the search region and" + free_int(seed.peaks) +
                 (seed.peaks == 1 ? " Gaussian;" : " Gaussians;") + free_int(s.fit.nparams) +
                 " parameters, all varied. Data set unchanged.");
    for (int k = 0; k < s.fit.nparams; ++k)
        s.out().line(format_I(k + 1, 3) + " " + std::string(s.fit.param_name(k).view()) + " = " +
                     g13(s.fit.value[static_cast<std::size_t>(k)]));
    if (!region.whole)
        s.out().line("FIT/C fits all" + free_int(s.data.count) + " points; the search region holds" +
                     free_int(region.last - region.first + 1) + " of them.");
    s.out().blank_line();
    s.peaks.seeded = true;
}

// The peaks PEAKS/I and /M work on: those of function 18 when it is the
// current function and PEAKS/S came after the last search (or there was no
// search), else those of the last search.
struct PeakSource {
    std::vector<FoundPeak> peaks;
    std::vector<double> errors; // of the heights, 0 when unknown
    bool from_fit = false;
};

std::optional<PeakSource> current_peaks(Session& s) {
    PeakSource src;
    const int m = std::min(std::max((s.fit.nparams - 2) / 3, 0), kMaxSeedPeaks);
    if (s.fit.function == kLinePlusGaussians && m > 0 && (s.peaks.seeded || !s.peaks.searched)) {
        src.from_fit = true;
        for (int k = 1; k <= m; ++k) {
            const auto h = static_cast<std::size_t>(3 * k - 1);
            FoundPeak p;
            p.height = s.fit.value[h];
            p.x = s.fit.value[h + 1];
            p.fwhm_x = std::fabs(s.fit.value[h + 2]);
            if (!(std::fabs(p.height) > 1e-20) || !(p.fwhm_x > 1e-20)) continue;
            const int i = nearest_point(xs(s), p.x);
            p.position = std::max(i, 0);
            const double step = x_step_at(xs(s), p.position);
            p.fwhm_points = step > 0.0 ? p.fwhm_x / step : 0.0;
            p.area = kGaussianAreaFactor * p.height * p.fwhm_points;
            src.peaks.push_back(p);
            src.errors.push_back(s.fit.error[h]);
        }
        if (!src.peaks.empty()) return src;
    }
    if (!s.peaks.searched || s.peaks.peaks.empty()) {
        s.out().line(s.peaks.searched ? "The last search found no peaks." : "No peaks yet: search with PEAKS first.");
        return std::nullopt;
    }
    src.peaks = s.peaks.peaks;
    src.errors.assign(src.peaks.size(), 0.0);
    return src;
}

// PEAKS/I: the lines near each peak and the elements they make up.
void identify(Session& s) {
    const EnergyScale scale = energy_scale(s.data);
    if (!scale.known()) {
        s.out().line("No energy calibration: naming lines needs one. Give it with MCA/N (energy per");
        s.out().line("channel and offset), or mark two known peaks with BUMP's M key and apply its G.");
        return;
    }
    auto src = current_peaks(s);
    if (!src) return;
    XrayDatabase& db = xray_database(s);
    load_xray_lines(s.out(), db);
    if (db.sets.empty()) return;

    // How high a line must be to be found, from a search of the whole data
    // at the peaks' typical width.
    std::vector<double> widths;
    for (const FoundPeak& p : src->peaks) widths.push_back(p.fwhm_points);
    std::nth_element(widths.begin(), widths.begin() + static_cast<std::ptrdiff_t>(widths.size() / 2), widths.end());
    PeakSearchOptions options;
    options.threshold = s.peaks.threshold;
    options.fwhm_points = widths[widths.size() / 2];
    const PeakSearchResult noise = find_peaks(xs(s), ys(s), sigmas(s), 0, s.data.count - 1, options);
    const double threshold = s.peaks.threshold;
    auto noise_at = [&](double x) {
        const double lo = std::min(s.data.X[0], s.data.X[static_cast<std::size_t>(s.data.count - 1)]);
        const double hi = std::max(s.data.X[0], s.data.X[static_cast<std::size_t>(s.data.count - 1)]);
        if (x < lo || x > hi || noise.height_noise.empty()) return 0.0;
        return noise.height_noise[static_cast<std::size_t>(nearest_point(xs(s), x))];
    };
    const DetectionLimit limit = [&](double energy) { return threshold * noise_at(scale.x_of(energy)); };

    std::vector<XrayPeak> peaks;
    for (std::size_t k = 0; k < src->peaks.size(); ++k) {
        const FoundPeak& p = src->peaks[k];
        XrayPeak xp;
        xp.energy = scale.energy(p.x);
        xp.fwhm = scale.width(p.fwhm_x);
        xp.height = p.height;
        if (src->from_fit) {
            const double sd = src->errors[k] > 0.0 ? src->errors[k] : noise_at(p.x);
            xp.significance = sd > 0.0 ? p.height / sd : 0.0;
        } else {
            xp.significance = p.significance;
        }
        peaks.push_back(xp);
    }
    const XrayIdentification id = identify_xray_peaks(db, peaks, limit);

    s.out().line(std::string(src->from_fit ? "The peaks of function 18" : "The peaks of the last search") + "; " +
                 calibration_text(scale));
    s.out().blank_line();
    auto set_name = [&](int set) { return std::string(db.sets[static_cast<std::size_t>(set)].name.view()); };
    // "FE Ka": the element and the line group.
    auto line_name = [&](int set, const std::string& label) { return set_name(set).substr(0, 2) + " " + label; };
    s.peaks.names.assign(peaks.size(), "");
    s.peaks.named_centres.clear();
    for (std::size_t k = 0; k < peaks.size(); ++k) {
        const PeakIdentity& pi = id.peaks[k];
        std::string what;
        switch (pi.origin) {
        case PeakOrigin::Line:
            what = line_name(pi.set, pi.label.empty() ? std::string(1, set_name(pi.set)[3]) : pi.label);
            break;
        case PeakOrigin::Escape: what = "escape peak of peak" + free_int(pi.parent + 1); break;
        case PeakOrigin::Sum: what = "sum peak of peak" + free_int(pi.parent + 1); break;
        case PeakOrigin::Unknown: what = "not identified"; break;
        }
        if (pi.origin == PeakOrigin::Line) s.peaks.names[k] = what;
        if (pi.origin == PeakOrigin::Escape) s.peaks.names[k] = "esc";
        if (pi.origin == PeakOrigin::Sum) s.peaks.names[k] = "sum";
        s.peaks.named_centres.push_back(src->peaks[k].x);
        s.out().line("Peak" + format_I(static_cast<long long>(k) + 1, 3) + format_F(peaks[k].energy, 10, 4) +
                     " keV, FWHM" + format_I(std::lround(1000.0 * peaks[k].fwhm), 5) + " eV: " + what);
        if (!(peaks[k].energy > 0.0)) continue;
        if (pi.lines.empty()) {
            s.out().line("          no line of the data base within the FWHM");
            continue;
        }
        const std::size_t shown = std::min<std::size_t>(pi.lines.size(), 5);
        for (std::size_t l = 0; l < shown; ++l) {
            const LineMatch& m = pi.lines[l];
            s.out().line("          " + format_A(line_name(m.line.set, m.line.label) + "      ", 6) +
                         format_F(m.line.energy, 9, 3) + " keV" + format_I(std::lround(m.difference_ev), 6) + " eV" +
                         "   rel. intensity" + format_F(m.line.intensity, 6, 3));
        }
        if (pi.lines.size() > shown)
            s.out().line("          and" + free_int(static_cast<long long>(pi.lines.size() - shown)) + " more");
    }
    s.out().blank_line();
    if (id.elements.empty()) {
        s.out().line("No element identified.");
        s.out().blank_line();
        return;
    }
    s.out().line("Elements present, by evidence:");
    s.out().line("  Element  Lines found             Evidence  Peaks");
    for (const ElementEvidence& e : id.elements) {
        std::string lines;
        for (const std::string& l : e.lines) lines += (lines.empty() ? "" : " ") + l;
        std::string peaks_text;
        for (int p : e.peaks) peaks_text += free_int(p + 1);
        s.out().line("  " + format_A(e.symbol + "       ", 7) + "  " + format_A(lines + std::string(22, ' '), 22) +
                     format_F(e.evidence, 10, 1) + " " + peaks_text);
    }
    s.out().blank_line();
}

// PEAKS/M: a tick over each peak and its number (or its name after PEAKS/I)
// on the last picture.
void markers(Session& s) {
    if (!s.draw.picture_drawn) {
        s.out().line("No plot current.");
        return;
    }
    auto src = current_peaks(s);
    if (!src) return;
    const DrawSettings& d = s.draw;
    const char device = d.last_device;
    set_window(s, d.old_xmin, d.old_xmax, d.old_ymin, d.old_ymax);
    float ux = 0.0f, uy = 0.0f;
    plot_unit_size(s, ux, uy);
    uy = std::fabs(uy);
    const float xlo = std::min(d.old_xmin, d.old_xmax), xhi = std::max(d.old_xmin, d.old_xmax);
    const float ylo = std::min(d.old_ymin, d.old_ymax), yhi = std::max(d.old_ymin, d.old_ymax);
    const float size = 0.8f;
    int drawn = 0;
    for (std::size_t k = 0; k < src->peaks.size(); ++k) {
        const FoundPeak& p = src->peaks[k];
        const auto x = static_cast<float>(p.x);
        if (!(x >= xlo && x <= xhi)) continue;
        // The top of the data within half a FWHM of the centre.
        float top = ylo;
        for (int i = 0; i < s.data.count; ++i) {
            const auto ii = static_cast<std::size_t>(i);
            if (std::fabs(s.data.X[ii] - p.x) <= 0.5 * p.fwhm_x + 1e-9) top = std::max(top, s.data.Y[ii]);
        }
        const float y0 = std::clamp(top + uy, ylo, yhi - 4.0f * uy);
        const float y1 = y0 + 2.0f * uy;
        plot_pen(s, device, x, y0, 3);
        plot_pen(s, device, x, y1, 2);
        std::string label = format_I(static_cast<long long>(k) + 1, 0);
        if (k < s.peaks.names.size() && k < s.peaks.named_centres.size() && s.peaks.named_centres[k] == p.x &&
            !s.peaks.names[k].empty())
            label = s.peaks.names[k];
        const float lx = x - 0.5f * text_width(s, size, label);
        float ly = y1 + 0.5f * uy;
        if (print_styled(s, device)) {
            // Labels of close peaks are moved up past the ones already
            // there; the ticks stay over the peaks.
            const float cap = 1.2f * size * uy;
            const LabelBox wanted{lx, ly, text_width(s, size, label), cap};
            ly = place_labels({&wanted, 1}, s.draw.placed_labels, 0.3f * cap, true)[0].y;
            s.draw.placed_labels.push_back({lx, ly, wanted.width, cap});
        }
        draw_text(s, device, lx, ly, size, 0.0f, label);
        ++drawn;
    }
    end_plot(s, device);
    s.out().line(format_I(drawn, 5) + (drawn == 1 ? " peak marked" : " peaks marked") + " on the last picture.");
}

// PEAKS/W w: the expected FWHM in X units; 0 or none: from the spectrum.
void width(Session& s, CommandContext& ctx) {
    if (ctx.number < 0.0) {
        s.out().line("A FWHM cannot be negative; it stays as it was.");
        return;
    }
    s.peaks.fwhm = ctx.number;
    if (ctx.number > 0.0)
        s.out().line("Expected FWHM set to " + trimmed_number(ctx.number) + " (X units).");
    else
        s.out().line("Expected FWHM estimated from the spectrum.");
}

} // namespace

void cmd_peaks(Session& s, CommandContext& ctx) {
    switch (ctx.qualifier) {
    case ' ': search(s, ctx); return;
    case 'S': seed(s, ctx); return;
    case 'I': identify(s); return;
    case 'M': markers(s); return;
    case 'W': width(s, ctx); return;
    default: s.out().line("Unknown option.\x07"); return;
    }
}

} // namespace tarva
