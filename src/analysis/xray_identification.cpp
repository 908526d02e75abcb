#include "analysis/xray_identification.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "physics/element_table.h"

namespace tarva {

namespace {

// The Fano part of a silicon detector's resolution: FWHM^2 grows by
// 2.3548^2 x F x w x E with the Fano factor F = 0.115 and w = 3.65 eV per
// electron-hole pair, in keV^2 per keV.
constexpr double kFanoTerm = 0.00233;
// Lines closer than this part of the FWHM are one group.
constexpr double kUnresolved = 0.4;
// A set may also explain a peak with another group than its strongest
// (when the strongest stands on another peak, perhaps shared with another
// element's line) if that group is this strong relative to the strongest,
// at this cost in the score.
constexpr double kSecondLine = 0.25;
constexpr double kSecondLineCost = -0.2;
// Elements without long-lived isotopes are not looked for: Tc, Pm, Po, At,
// Rn, Fr, Ra, Ac, Pa. Their L and M lines fall among the common K lines and
// would only ever be coincidences in a sample.
bool short_lived(int z) { return z == 43 || z == 61 || (z >= 84 && z <= 89) || z == 91; }
// A parent is at least this many times higher than its escape or sum peak.
constexpr double kArtifactRatio = 10.0;
// Sets of a family that is less often the one seen weigh a little less when
// everything else is equal.
double family_prior(char family) { return family == 'K' ? 0.0 : family == 'L' ? -0.15 : -0.3; }

// Height of a Gaussian of FWHM w at distance d from its centre, relative to
// its top.
double overlap(double d, double w) {
    const double u = d / w;
    return std::exp(-2.772588722239781 * u * u);
}

// FWHM^2 = noise^2 + Fano term x E, the noise from the median of the peaks
// (the strong ones when there are any): a model that blends cannot widen
// much.
std::function<double(double)> resolution_model(std::span<const XrayPeak> peaks) {
    std::vector<double> strong, all;
    for (const XrayPeak& p : peaks) {
        if (!(p.fwhm > 0.0) || !(p.energy > 0.0)) continue;
        const double v = p.fwhm * p.fwhm - kFanoTerm * p.energy;
        all.push_back(v);
        if (p.significance >= 10.0) strong.push_back(v);
    }
    std::vector<double>& v = strong.empty() ? all : strong;
    double noise = 0.15 * 0.15;
    if (!v.empty()) {
        std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
        noise = std::max(v[v.size() / 2], 0.03 * 0.03);
    }
    return [noise](double e) { return std::sqrt(noise + kFanoTerm * std::max(e, 0.0)); };
}

char family_of(const XraySet& set) { return set.name[3]; }

bool element_family(const XraySet& set) {
    const char f = family_of(set);
    return f == 'K' || f == 'L' || f == 'M';
}

struct Work {
    const XrayDatabase& db;
    std::span<const XrayPeak> peaks;
    const DetectionLimit& limit;
    std::function<double(double)> resolution;
    std::vector<std::vector<LineGroup>> groups;    // per set; empty for sets not searched
    std::vector<double> width;                     // FWHM of each peak, keV
    std::vector<bool> usable;                      // a line peak may explain it
    std::vector<double> remaining;                 // height not yet explained
    std::vector<double> moment;                    // sum of explained height x line energy
    std::vector<std::map<int, double>> share;      // per peak: set -> height explained
    std::vector<std::map<int, std::string>> found; // per peak: set -> group label within half the FWHM
    std::vector<bool> assigned;

    double height(std::size_t p) const { return peaks[p].height; }

    // Where the unexplained part of peak p stands: a blend's centre less
    // the lines already given to it (within half its FWHM).
    double centre(std::size_t p) const {
        const double explained = height(p) - remaining[p];
        if (!(explained > 0.0) || !(remaining[p] > 0.0)) return peaks[p].energy;
        const double e = (height(p) * peaks[p].energy - moment[p]) / remaining[p];
        return std::clamp(e, peaks[p].energy - 0.5 * width[p], peaks[p].energy + 0.5 * width[p]);
    }

    // The peak nearest (in its own widths) to an energy, or -1.
    int nearest(double energy) const {
        int best = -1;
        double r = 0.0;
        for (std::size_t q = 0; q < peaks.size(); ++q) {
            if (!(peaks[q].energy > 0.0)) continue;
            const double rq = std::fabs(energy - peaks[q].energy) / width[q];
            if (best < 0 || rq < r) {
                best = static_cast<int>(q);
                r = rq;
            }
        }
        return best;
    }

    double line_limit(double energy) const { return limit ? limit(energy) : 0.0; }

    // The strongest group of set s stands within half the FWHM of a peak.
    bool main_line_found(int s) const {
        const double e = groups[static_cast<std::size_t>(s)][0].energy;
        for (std::size_t q = 0; q < peaks.size(); ++q)
            if (usable[q] && std::fabs(e - peaks[q].energy) <= 0.5 * width[q]) return true;
        return false;
    }

    // A line of height h at this energy would not be found as a peak of
    // its own (nor show its height) beside a higher peak: within one and a
    // half FWHM of one three times higher, or where the negative lobes of
    // the peaks around it in the search's response (second derivatives of
    // Gaussians about 1.8 times their width, the search's kernel combined)
    // take its response below what is found (`lim`).
    bool masked(double energy, double h, double lim) const {
        double left = h;
        for (std::size_t q = 0; q < peaks.size(); ++q) {
            const double w = std::max(width[q], resolution(peaks[q].energy));
            const double d = std::fabs(energy - peaks[q].energy);
            if (d <= 1.5 * w && peaks[q].height >= 3.0 * h) return true;
            const double u = d / (0.765 * w);
            if (u > 1.0) left -= peaks[q].height * (u * u - 1.0) * std::exp(-0.5 * u * u);
        }
        return left < lim;
    }

    // The height of the strongest group of set s when its group `anchor`
    // makes the unexplained part of peak p.
    double amplitude(int s, std::size_t anchor, std::size_t p) const {
        const LineGroup& g = groups[static_cast<std::size_t>(s)][anchor];
        return remaining[p] / (g.intensity * overlap(g.energy - centre(p), width[p]));
    }

    // How well set s explains peak p with its group `anchor` (the
    // strongest, or another strong one when the strongest stands on
    // another peak).
    double score(int s, std::size_t anchor, std::size_t p) const {
        const auto& g = groups[static_cast<std::size_t>(s)];
        const double d = g[anchor].energy - centre(p);
        const double tolerance = 0.5 * width[p];
        const double a = amplitude(s, anchor, p);
        double total = 1.0 - (d / tolerance) * (d / tolerance) +
                       family_prior(family_of(db.sets[static_cast<std::size_t>(s)])) +
                       (anchor == 0 ? 0.0 : kSecondLineCost);
        for (std::size_t k = 0; k < g.size(); ++k) {
            if (k == anchor) continue;
            if (g[k].intensity < 0.02) continue;
            const double h = a * g[k].intensity;
            const double lim = line_limit(g[k].energy);
            if (!(lim > 0.0)) continue;
            const double w = std::min(h / lim, 3.0) / 3.0;
            const int q = nearest(g[k].energy);
            const double r = q < 0 ? 1e30
                                   : std::fabs(g[k].energy - peaks[static_cast<std::size_t>(q)].energy) /
                                         width[static_cast<std::size_t>(q)];
            if (r <= 0.5) {
                const auto qq = static_cast<std::size_t>(q);
                if (qq == p) {
                    // A strong second group within the same peak (apart from
                    // the anchor, or it would be in its group) would widen
                    // the peak or split it.
                    if (h >= 0.25 * a * g[anchor].intensity) total -= w;
                    continue;
                }
                if (!usable[qq]) continue; // on an escape or sum peak
                const double c = h * overlap(g[k].energy - peaks[qq].energy, width[qq]);
                const double ratio = height(qq) / c;
                if (ratio < 0.5) {
                    // Too weak for the line, unless a neighbour's flank hides its height.
                    if (!masked(g[k].energy, h, lim)) total -= w;
                } else if (ratio >= 0.8 && remaining[qq] >= 0.3 * height(qq)) {
                    // A peak of about the height the line predicts is good
                    // evidence; one much higher than what is left of it
                    // unexplained, little: the line may only coincide. A
                    // peak already explained but for a remnant is none.
                    total += w * std::min(c, remaining[qq]) / std::max({c, remaining[qq], 1e-30});
                }
            } else if (r <= 2.0) {
                // Beside a peak: hidden in its flank when no higher than it,
                // else the peak would stand where the line is.
                if (h > 1.5 * height(static_cast<std::size_t>(q)) && !masked(g[k].energy, h, lim)) total -= w;
            } else if (h >= 2.0 * lim && !masked(g[k].energy, h, lim)) {
                total -= 2.0 * w; // no peak where a plain one should stand
            }
        }
        return total;
    }

    // Set s takes the unexplained height of peak p with its group `anchor`
    // and its share of every peak its groups reach.
    void assign(int s, std::size_t anchor, std::size_t p) {
        const auto& g = groups[static_cast<std::size_t>(s)];
        const double a = amplitude(s, anchor, p);
        for (const LineGroup& line : g) {
            const double h = a * line.intensity;
            for (std::size_t q = 0; q < peaks.size(); ++q) {
                if (!usable[q]) continue;
                const double d = line.energy - peaks[q].energy;
                if (std::fabs(d) > width[q]) continue;
                const double e = std::min(remaining[q], h * overlap(d, width[q]));
                remaining[q] -= e;
                moment[q] += e * line.energy;
                share[q][s] += e;
                if (std::fabs(d) <= 0.5 * width[q] && !found[q].count(s)) found[q][s] = line.label;
            }
        }
        assigned[static_cast<std::size_t>(s)] = true;
    }
};

std::string upper_symbol(int z) {
    std::string s(element_symbol(z));
    for (char& c : s) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

int z_of_set(const XraySet& set) { return find_symbol(normalised_symbol(set.name.view().substr(0, 2)).view()); }

} // namespace

std::vector<LineGroup> line_groups(const XrayDatabase& db, int set, const std::function<double(double)>& resolution) {
    std::vector<LineGroup> groups;
    if (set < 0 || static_cast<std::size_t>(set) >= db.sets.size()) return groups;
    const XraySet& s = db.sets[static_cast<std::size_t>(set)];
    std::vector<std::pair<double, double>> lines;
    for (int l = 0; l < s.count; ++l) {
        const double e = s.energy[static_cast<std::size_t>(l)], i = s.intensity[static_cast<std::size_t>(l)];
        if (e > 0.0 && i > 0.0) lines.emplace_back(e, i);
    }
    std::sort(lines.begin(), lines.end());
    double sum_e = 0.0, sum_i = 0.0, last = 0.0;
    auto close = [&] {
        if (sum_i > 0.0) groups.push_back({set, sum_e / sum_i, sum_i, ""});
        sum_e = sum_i = 0.0;
    };
    for (const auto& [e, i] : lines) {
        if (sum_i > 0.0 && e - last > kUnresolved * resolution(e)) close();
        sum_e += e * i;
        sum_i += i;
        last = e;
    }
    close();
    if (groups.empty()) return groups;
    // Labels by place against the strongest group: below it "l" ("z" for
    // M lines), then "a"; above it "b" up to a little beyond the strongest
    // group above it, "g" further up.
    const auto main = static_cast<std::size_t>(
        std::max_element(groups.begin(), groups.end(),
                         [](const LineGroup& a, const LineGroup& b) { return a.intensity < b.intensity; }) -
        groups.begin());
    const char family = family_of(s);
    const double strongest = groups[main].intensity;
    std::size_t second = main;
    for (std::size_t k = main + 1; k < groups.size(); ++k)
        if (second == main || groups[k].intensity > groups[second].intensity) second = k;
    const double beta_end =
        second == main ? 0.0 : groups[second].energy + 0.3 * (groups[second].energy - groups[main].energy);
    for (std::size_t k = 0; k < groups.size(); ++k) {
        char tag = k < main ? (family == 'M' ? 'z' : 'l') : k == main ? 'a' : groups[k].energy <= beta_end ? 'b' : 'g';
        if (family == 'K' && k < main) tag = ' ';
        groups[k].label = std::string(1, family) + (tag == ' ' ? "" : std::string(1, tag));
        groups[k].intensity /= strongest;
    }
    std::stable_sort(groups.begin(), groups.end(),
                     [](const LineGroup& a, const LineGroup& b) { return a.intensity > b.intensity; });
    return groups;
}

XrayIdentification identify_xray_peaks(const XrayDatabase& db, std::span<const XrayPeak> peaks,
                                       const DetectionLimit& limit, double escape_energy) {
    XrayIdentification result;
    const std::size_t n = peaks.size();
    result.peaks.resize(n);
    const auto resolution = resolution_model(peaks);
    Work w{db, peaks, limit, resolution, {}, {}, {}, {}, {}, {}, {}, {}};
    const std::size_t sets = std::min<std::size_t>(db.sets.size(), kXraySearchSets);
    w.groups.resize(sets);
    w.assigned.assign(sets, false);
    for (std::size_t s = 0; s < sets; ++s)
        if (element_family(db.sets[s]) && !short_lived(z_of_set(db.sets[s])))
            w.groups[s] = line_groups(db, static_cast<int>(s), resolution);
    w.width.resize(n);
    for (std::size_t p = 0; p < n; ++p)
        w.width[p] = peaks[p].fwhm > 0.0 ? peaks[p].fwhm : resolution(std::max(peaks[p].energy, 0.0));
    w.usable.assign(n, false);
    w.remaining.assign(n, 0.0);
    w.moment.assign(n, 0.0);
    w.share.resize(n);
    w.found.resize(n);

    // Escape and sum peaks of much stronger peaks are named as such.
    for (std::size_t p = 0; p < n; ++p) {
        PeakIdentity& id = result.peaks[p];
        if (!(peaks[p].energy > 0.0) || !(peaks[p].height > 0.0)) continue;
        const double tolerance = 0.5 * w.width[p];
        for (std::size_t q = 0; q < n; ++q) {
            if (q == p || peaks[q].height < kArtifactRatio * peaks[p].height) continue;
            const bool parent_higher =
                id.parent < 0 || peaks[q].height > peaks[static_cast<std::size_t>(id.parent)].height;
            if (std::fabs(peaks[p].energy - (peaks[q].energy - escape_energy)) <= tolerance && parent_higher) {
                id.origin = PeakOrigin::Escape;
                id.parent = static_cast<int>(q);
            } else if (std::fabs(peaks[p].energy - 2.0 * peaks[q].energy) <= tolerance && parent_higher) {
                id.origin = PeakOrigin::Sum;
                id.parent = static_cast<int>(q);
            }
        }
        if (id.origin == PeakOrigin::Unknown) {
            w.usable[p] = true;
            w.remaining[p] = peaks[p].height;
        }
    }

    // The peaks from the highest down, each while a large part of it is
    // unexplained.
    std::vector<std::size_t> order;
    for (std::size_t p = 0; p < n; ++p)
        if (w.usable[p]) order.push_back(p);
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return peaks[a].height > peaks[b].height; });
    for (std::size_t p : order) {
        const double lim = w.line_limit(peaks[p].energy);
        if (w.remaining[p] < std::max(0.3 * peaks[p].height, lim > 0.0 ? lim : 0.0)) continue;
        int best = -1;
        std::size_t best_anchor = 0;
        double best_score = 0.3; // a set must score above this to be taken
        for (std::size_t s = 0; s < sets; ++s) {
            if (w.assigned[s] || w.groups[s].empty()) continue;
            for (std::size_t k = 0; k < w.groups[s].size(); ++k) {
                const LineGroup& g = w.groups[s][k];
                if (k > 0 && (g.intensity < kSecondLine || !w.main_line_found(static_cast<int>(s)))) continue;
                if (std::fabs(g.energy - w.centre(p)) > 0.5 * w.width[p]) continue;
                const double sc = w.score(static_cast<int>(s), k, p);
                if (sc > best_score) {
                    best_score = sc;
                    best = static_cast<int>(s);
                    best_anchor = k;
                }
            }
        }
        if (best >= 0) w.assign(best, best_anchor, p);
    }

    // What each peak is, and what lines lie within its FWHM.
    std::map<int, ElementEvidence> elements;
    for (std::size_t p = 0; p < n; ++p) {
        PeakIdentity& id = result.peaks[p];
        if (w.usable[p] && !w.share[p].empty()) {
            const auto top = std::max_element(w.share[p].begin(), w.share[p].end(),
                                              [](const auto& a, const auto& b) { return a.second < b.second; });
            id.origin = PeakOrigin::Line;
            id.set = top->first;
            const auto label = w.found[p].find(top->first);
            if (label != w.found[p].end()) id.label = label->second;
            for (const auto& [s, e] : w.share[p]) {
                const int z = z_of_set(db.sets[static_cast<std::size_t>(s)]);
                ElementEvidence& el = elements[z];
                el.z = z;
                if (std::find(el.sets.begin(), el.sets.end(), s) == el.sets.end()) el.sets.push_back(s);
                if (std::find(el.peaks.begin(), el.peaks.end(), static_cast<int>(p)) == el.peaks.end())
                    el.peaks.push_back(static_cast<int>(p));
                el.evidence += peaks[p].significance * e / peaks[p].height;
                const auto f = w.found[p].find(s);
                if (f != w.found[p].end() && std::find(el.lines.begin(), el.lines.end(), f->second) == el.lines.end())
                    el.lines.push_back(f->second);
            }
        }
        if (!(peaks[p].energy > 0.0)) continue;
        std::vector<LineMatch> near;
        for (std::size_t s = 0; s < sets; ++s)
            for (const LineGroup& g : w.groups[s])
                if (std::fabs(g.energy - peaks[p].energy) <= w.width[p])
                    near.push_back({g, 1000.0 * (g.energy - peaks[p].energy)});
        auto explained = [&](const LineMatch& m) {
            const auto it = w.share[p].find(m.line.set);
            return it == w.share[p].end() ? 0.0 : it->second;
        };
        std::stable_sort(near.begin(), near.end(), [&](const LineMatch& a, const LineMatch& b) {
            const double ea = explained(a), eb = explained(b);
            if (ea != eb) return ea > eb;
            return std::fabs(a.difference_ev) < std::fabs(b.difference_ev);
        });
        id.lines = std::move(near);
    }
    for (auto& [z, el] : elements) {
        el.symbol = z > 0 ? upper_symbol(z) : "??";
        std::sort(el.sets.begin(), el.sets.end());
        std::sort(el.peaks.begin(), el.peaks.end());
        result.elements.push_back(el);
    }
    std::stable_sort(result.elements.begin(), result.elements.end(),
                     [](const ElementEvidence& a, const ElementEvidence& b) { return a.evidence > b.evidence; });
    return result;
}

} // namespace tarva
