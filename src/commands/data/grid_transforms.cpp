// Scanning-beam grid shadows and rotating-coil multipole spectra.
//
// A scan across a grid gives, in pairs of points, the edges of the beam
// shadow: X is the scan coordinate, Y the position measured. The period of
// the shadow and its position follow from the pairs.
#include <cmath>

#include "commands/data/data_transforms.h"
#include "session/dialogue.h"
#include "text/format.h"

namespace tarva::special {

namespace {

// Both grid-shadow evaluations: SIGMA = e everywhere, labels from the old Y label.
void finish_shadow(DataSet& d, float e) {
    for (int i = 0; i < d.count; ++i) d.SIGMA[static_cast<std::size_t>(i)] = e;
    const std::string old(d.y_label.trimmed());
    d.x_label = label_text("Position along shadow " + old);
    d.y_label = label_text("Period " + old);
}

} // namespace

void grid_shadow_pairs(Session& s) {
    if (!enough_points(s, 2)) return;
    DataSet& d = s.data;
    const int pairs = d.count / 2;
    float spread = 0.0f;
    for (int k = 0; k < pairs; ++k) {
        const auto odd = static_cast<std::size_t>(2 * k), even = odd + 1, u = static_cast<std::size_t>(k);
        spread += std::fabs(d.X[odd] - d.X[even]) / 2.0f;
        const float y_odd = d.Y[odd], y_even = d.Y[even];
        d.X[u] = (y_odd + y_even) / 2.0f;
        d.Y[u] = y_odd - y_even;
    }
    d.count = pairs;
    finish_shadow(d, spread / static_cast<float>(pairs));
    s.out().line("Data converted to grid shadow periods.");
}

void grid_shadow_alternative(Session& s) {
    auto answer = ask_letter(s, "Is the data in order of ascending y? > ");
    if (!answer || *answer == 'N') return;
    if (!enough_points(s, 3)) return;
    DataSet& d = s.data;
    const int n = d.count - 2;
    float spread = 0.0f;
    // Ascending i: point i + 2 is still unchanged when point i is written.
    for (int i = 0; i < n; ++i) {
        const auto u = static_cast<std::size_t>(i), w = u + 2;
        spread += std::fabs(d.X[w] - d.X[u]) / 2.0f;
        const float y0 = d.Y[u], y2 = d.Y[w];
        d.Y[u] = y2 - y0;
        d.X[u] = (y0 + y2) / 2.0f;
    }
    d.count = n;
    finish_shadow(d, spread / static_cast<float>(n));
    s.out().line("Data converted to grid shadow periods (alternative method).");
}

void multipole_scaling(Session& s) {
    OutputSink& out = s.out();
    out.line(std::string(20, ' ') + "Scale the multipole components");
    out.line("(x-axis must be in units of the fundamental frequency)");
    double bore = 0.0, coil = 0.0;
    if (!ask_number_pair(s, "Lens bore radius, rotating coil radius > ", bore, coil)) return;
    if (coil < 1e-10) {
        out.line("Coil radius must be non-zero");
        out.blank_line();
        return;
    }
    DataSet& d = s.data;
    const float ratio = static_cast<float>(bore) / static_cast<float>(coil);
    for (int i = 0; i < d.count; ++i) {
        const auto u = static_cast<std::size_t>(i);
        d.Y[u] = d.Y[u] * std::pow(ratio, d.X[u] - 1.0f);
    }
    d.y_label = "Field Component on Pole Tip";
    // The quadrupole harmonic (X = 2) is the reference for the others.
    int q = -1;
    float distance = 0.0f;
    for (int i = 0; i < d.count; ++i) {
        const float dist = std::fabs(d.X[static_cast<std::size_t>(i)] - 2.0f);
        if (q < 0 || dist < distance) {
            q = i;
            distance = dist;
        }
    }
    if (q < 0 || distance > 0.1f) {
        out.line("Bad or missing quadrupole harmonic,");
        out.line("error = " + g12(distance) + "... continuing...");
    }
    const float yq = q < 0 ? 0.0f : d.Y[static_cast<std::size_t>(q)];
    if (std::fabs(yq) >= 1e-10f) {
        for (int i = 0; i < d.count; ++i) {
            const auto u = static_cast<std::size_t>(i);
            d.Y[u] = 100.0f * d.Y[u] / yq;
        }
        d.y_label = "% Field Component on Pole Tip";
    } else {
        out.line("Quadrupole component zero!\x07");
    }
    d.x_label = "Field Index";
}

void multiplet_grid_shadow(Session& s) {
    OutputSink& out = s.out();
    out.line("Multuplet grid shadow processing....");
    double period_micron = 12.5, unused = 0.0;
    if (!ask_number_pair(s, "Grid period (micron, CR for 12.5) > ", period_micron, unused)) return;
    const float p = static_cast<float>(period_micron) * 0.001f;
    auto varied = ask_letter(s, "Axis allowed to vary during digitization (X or Y) > ");
    if (!varied) return;
    const char axis = *varied == 'Y' ? 'Y' : 'X';
    out.line("System axis relative to grid:");
    auto centre = ask_letter(s, std::string("   Centered on a grid BAR or APERTURE along ") + axis + "-axis > ");
    if (!centre) return;
    if (!enough_points(s, 1)) return;
    float offset = *centre == 'A' ? p / 2.0f : 0.0f;

    DataSet& d = s.data;
    // The grid line nearest the axis is number k; the others count from it.
    int k = 0;
    for (int i = 1; i < d.count; ++i)
        if (std::fabs(d.X[static_cast<std::size_t>(i)]) < std::fabs(d.X[static_cast<std::size_t>(k)])) k = i;
    if (d.X[static_cast<std::size_t>(k)] < 0.0f) offset = -offset;

    float sum = 0.0f;
    for (int i = 0; i < d.count; ++i) sum += d.Y[static_cast<std::size_t>(i)];
    const float mean = sum / static_cast<float>(d.count);
    const std::string a(1, axis);
    for (int i = 0; i < d.count; ++i) {
        const auto u = static_cast<std::size_t>(i);
        float& x = d.X[u];
        if (std::fabs(x) < 1e-10f) x = 1e-10f;
        const float shift = static_cast<float>(i - k) * p + offset;
        out.line(a + "-grid = " + g12(shift * 1000.0f) + " micron");
        d.Y[u] = shift / x;
        x = x * x;
    }
    const std::string t = g12(mean);
    d.y_label = a + "^ds^r/" + a + "^dg^r";
    d.x_label = a + "^ds^r^b^u2^r (mm^u2^r)";
    const std::string caption(d.caption.trimmed());
    if (axis == 'X') {
        d.caption = label_text("y^ds^r = " + t + " mm " + caption);
        out.line("Y shadow plane coordinate " + t + " mm.");
    } else {
        d.caption = label_text("x^ds^r = " + t + " mm " + caption);
        out.line("X shadow plane coordinate " + t + " mm.");
    }
}

} // namespace tarva::special
