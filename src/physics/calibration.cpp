#include "physics/calibration.h"

#include <cmath>
#include <string>

#include "io/output_sink.h"
#include "physics/element_table.h"
#include "physics/kinematics.h"
#include "text/format.h"

namespace tarva {

namespace {

std::string listed_names(const CalibrationList& list) {
    std::string names;
    for (int i = 0; i < list.count; ++i) {
        if (i > 0) names += ",";
        names += std::string(list.peak[static_cast<std::size_t>(i)].name.trimmed());
    }
    return names;
}

// "FEL" and "C L" name the sets "FE L" and "C  L"; no family is K.
void xray_peak_name(FixedText<4>& name) {
    align_set_name(name);
    if (name[2] != ' ' && name[3] == ' ') {
        name[3] = name[2];
        name[2] = ' ';
    }
    if (name[3] == ' ') name[3] = 'K';
}

std::vector<double> channels(const CalibrationList& list) {
    std::vector<double> x;
    for (int i = 0; i < list.count; ++i) x.push_back(list.peak[static_cast<std::size_t>(i)].channel);
    return x;
}

} // namespace

bool add_calibration_peak(OutputSink& out, CalibrationList& list, std::string_view typed, double channel, char kind) {
    std::string text(typed);
    left_justify(text);
    FixedText<4> name(upper(text));
    if (name.blank()) {
        out.line("Elements in calibration list: " + listed_names(list));
        return false;
    }
    if (kind == 'X') xray_peak_name(name);
    int k = 0;
    while (k < list.count && !(list.peak[static_cast<std::size_t>(k)].name == name.view())) ++k;
    const int z = find_symbol(normalised_symbol(name.view().substr(0, 2)).view());
    if (z == 0) {
        // A new entry is dropped again; an entry of that name cannot exist.
        out.line("Not an element name!");
        return false;
    }
    if (k == list.count) {
        if (list.count == kMaxCalibrationPeaks) {
            out.line("The calibration list is full (" + std::to_string(kMaxCalibrationPeaks) + " peaks).");
            return false;
        }
        ++list.count;
    }
    list.peak[static_cast<std::size_t>(k)] = {name, z, channel};
    return true;
}

std::vector<double> expected_energies(OutputSink& out, XrayDatabase& db, const CalibrationList& list, char kind,
                                      const Beam& beam, double angle) {
    std::vector<double> e;
    for (int i = 0; i < list.count; ++i) {
        const CalibrationPeak& p = list.peak[static_cast<std::size_t>(i)];
        if (kind == 'R') {
            e.push_back(kinematic_factor(beam.mass, atomic_weight(p.z), angle) * beam.energy_kev);
        } else {
            double energy = 0.0;
            FixedText<4> name = p.name;
            lines_near(out, db, energy, name);
            e.push_back(energy);
        }
    }
    return e;
}

LineFit line_fit(OutputSink* out, const std::vector<double>& x, const std::vector<double>& y) {
    LineFit f;
    const std::size_t n = std::min(x.size(), y.size());
    auto say = [&](const char* text) {
        if (out) out->line(text);
    };
    if (n < 2) {
        say("Unable to fit a straight line to one or less points!");
        return f;
    }
    if (n == 2) {
        say("Only two data points, perfect fit possible!");
        if (std::fabs(x[1] - x[0]) > 1e-20) {
            f.slope = (y[1] - y[0]) / (x[1] - x[0]);
            f.intercept = y[1] - f.slope * x[1];
            f.usable = true;
        } else {
            say("Infinite slope (vertical) line.");
            f.intercept = x[1];
        }
        return f;
    }
    float sx = 0.0f, sy = 0.0f;
    for (std::size_t i = 0; i < n; ++i) {
        sx += static_cast<float>(x[i]);
        sy += static_cast<float>(y[i]);
    }
    const float nf = static_cast<float>(n);
    const float mean = sx / nf;
    float d = 0.0f, b = 0.0f;
    for (std::size_t i = 0; i < n; ++i) {
        const float t = static_cast<float>(x[i]) - mean;
        d += t * t;
        b += static_cast<float>(y[i]) * t;
    }
    if (!(d > 1e-20f)) {
        say("Infinite slope (vertical) line.");
        f.intercept = mean;
        return f;
    }
    b /= d;
    const float a = (sy - sx * b) / nf;
    float chi = 0.0f;
    for (std::size_t i = 0; i < n; ++i) {
        const float r = static_cast<float>(y[i]) - a - b * static_cast<float>(x[i]);
        chi += r * r;
    }
    const float sigma = std::sqrt(chi / (nf - 2.0f));
    f.slope = b;
    f.intercept = a;
    f.residual = chi;
    f.slope_error = sigma * std::sqrt(1.0f / d);
    f.intercept_error = sigma * std::sqrt((1.0f + sx * sx / (nf * d)) / nf);
    f.usable = true;
    return f;
}

Calibration calibrate(OutputSink& out, XrayDatabase& db, const CalibrationList& list, char kind, const Beam& beam) {
    Calibration c;
    const std::vector<double> x = channels(list);
    const std::vector<double> e = expected_energies(out, db, list, kind, beam, beam.angle);
    // The report is written for whatever line the fit gave, so that a lone
    // peak shows how far it is from the line through the origin.
    c.fit = line_fit(&out, x, e);
    const LineFit& f = c.fit;
    const std::string title = kind == 'R' ? "Element     k*E0 (keV)    Channel   Del (eV)"
                                          : "Element     X-ray line (keV)    Channel   Del (eV)";
    out.line("Energy calibration results:");
    out.line(title);
    out.line(std::string(title.size(), '-'));
    const double tolerance = kind == 'R' ? kRbsTolerance : kXrayTolerance;
    int outside = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double del = f.slope * x[i] + f.intercept - e[i];
        if (std::fabs(del) > tolerance) ++outside;
        out.line(format_A(list.peak[i].name.view(), 4) + "    " + g12(e[i]) + g13(x[i]) + g13(del * 1000.0));
    }
    const std::string dashes(78, '-');
    out.line(dashes);
    out.line("Energy = (" + format_F(f.slope, 10, 5) + "+/-" + format_F(f.slope_error, 9, 5) + ")*Channel + (" +
             format_F(f.intercept, 10, 5) + "+/-" + format_F(f.intercept_error, 9, 5) + ") keV");
    out.line(dashes);
    out.line("Chi-squ = " + g12(f.residual));
    if (outside > 0) {
        out.line("POSSIBLE ERROR - " + format_I(outside, 1) + " of your data point(s) could not");
        out.line("be fit to better than the detector resolution (" + format_F(tolerance, 7, 2) + " keV).");
        out.line("Energy calibration not applied to data.");
        return c;
    }
    if (!f.usable) {
        // No peaks, or all at one channel: there is no line to apply.
        out.line("Energy calibration not applied to data.");
        return c;
    }
    c.apply = true;
    return c;
}

void angle_scan(OutputSink& out, XrayDatabase& db, const CalibrationList& list, const Beam& beam) {
    const std::vector<double> x = channels(list);
    if (x.empty()) {
        line_fit(&out, x, x); // says that no line can be fitted; no mean error exists
        return;
    }
    out.line("Scattering angle:   Calibration              Mean error");
    out.line("  (degrees)        (keV/ch)      (keV)       (eV)");
    for (int step = -5; step <= 5; ++step) {
        const double angle = beam.angle + step;
        const std::vector<double> e = expected_energies(out, db, list, 'R', beam, angle);
        const LineFit f = line_fit(&out, x, e); // a fit of two points says so at every angle
        double sum = 0.0;
        for (std::size_t i = 0; i < x.size(); ++i) sum += std::fabs(f.slope * x[i] + f.intercept - e[i]);
        out.line(format_F(angle, 10, 2) + format_F(f.slope, 17, 5) + format_F(f.intercept, 11, 3) +
                 format_F(sum / static_cast<double>(x.size()) * 1000.0, 11, 1));
    }
}

} // namespace tarva
