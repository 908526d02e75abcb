// BUMP: markers (list, save, restore) and the cross-hair dialogue.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "commands/commands.h"
#include "commands/graphics/draw/draw_command.h"
#include "commands/physics/bump.h"
#include "commands/physics/current_beam.h"
#include "commands/physics/xray_plot.h"
#include "physics/calibration.h"
#include "physics/element_table.h"
#include "physics/kinematics.h"
#include "plot/drawing.h"
#include "plot/plot.h"
#include "session/dialogue.h"
#include "session/session.h"
#include "text/format.h"
#include "text/regular_file.h"
#include "text/safe_file.h"

namespace tarva {

namespace {

void list_markers(Session& s) {
    s.out().line("Current marker positions;");
    s.out().blank_line();
    for (std::size_t k = 0; k < 6; ++k)
        s.out().line(std::string(7, ' ') + std::to_string(k + 1) + ": " + g13(s.markers.x[k]) + "," +
                     g13(s.markers.y[k]));
    s.out().blank_line();
}

void save_markers(Session& s) {
    if (replace_file(kMarkerFile, marker_file_text(s)) == ReplaceStatus::Ok)
        s.out().line("Markers saved in file QVMARK.DAT");
    else
        s.out().line("Unable to save markers in file QVMARK.DAT");
}

void read_markers(Session& s) {
    std::ifstream in;
    if (!open_regular(in, kMarkerFile)) {
        s.out().line("Unable to OPEN marker file QVMARK.DAT");
    } else {
        // The whole file: the twelve numbers may follow any number of
        // blank lines, as in any list the program reads.
        std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        std::replace_if(
            text.begin(), text.end(), [](char c) { return c == '\n' || c == '\r' || c == '\t'; }, ' ');
        std::array<double, 12> v{};
        const auto read = read_list(text, v);
        if (!read || *read < 12) {
            s.out().line("ERROR READING MARKERS FROM FILE QVMARK.DAT");
        } else {
            for (std::size_t k = 0; k < 6; ++k) {
                s.markers.x[k] = v[2 * k];
                s.markers.y[k] = v[2 * k + 1];
            }
            s.out().line("Markers READ FROM file QVMARK.DAT");
        }
    }
    list_markers(s);
}

// ---- drawing on the displayed picture --------------------------------

struct Units {
    float ux, uy;
};

Units picture_units(Session& s) {
    const DrawSettings& d = s.draw;
    set_window(s, d.old_xmin, d.old_xmax, d.old_ymin, d.old_ymax);
    Units u{0.0f, 0.0f};
    plot_unit_size(s, u.ux, u.uy);
    return u;
}

// A small cross at (x, y) with a text beside it.
void mark_point(Session& s, float x, float y, std::string_view text) {
    const char device = s.draw.last_device;
    const Units u = picture_units(s);
    plot_pen(s, device, x - 0.6f * u.ux, y, 3);
    plot_pen(s, device, x + 0.6f * u.ux, y, 2);
    plot_pen(s, device, x, y - 0.6f * u.uy, 3);
    plot_pen(s, device, x, y + 0.6f * u.uy, 2);
    if (!text.empty()) draw_text(s, device, x + 0.8f * u.ux, y + 0.8f * u.uy, 0.8f, 0.0f, text);
    end_plot(s, device);
}

// A name over a peak: a short line up from the cursor height and the name
// centred above it.
void label_peak(Session& s, float x, float y, std::string_view name) {
    const char device = s.draw.last_device;
    const Units u = picture_units(s);
    plot_pen(s, device, x, y, 3);
    plot_pen(s, device, x, y + 1.5f * u.uy, 2);
    draw_text(s, device, x - 0.5f * text_width(s, 0.8f, name), y + 2.0f * u.uy, 0.8f, 0.0f, name);
    end_plot(s, device);
}

// The picture again after the data changed.
void redraw(Session& s) {
    if (s.data.count > 0) draw_picture(s, s.draw.last_device, DrawArguments{});
}

// ---- the keys -----------------------------------------------------------

void set_marker(Session& s, std::size_t k, float x, float y) {
    s.markers.x[k] = x;
    s.markers.y[k] = y;
    const std::string label = "Marker " + std::to_string(k + 1);
    s.out().line(label + ": X = " + g13(x) + " Y = " + g13(y));
    if (k < 2) {
        s.out().line(std::string(17, ' ') + "X1-X2 = " + g12(s.markers.x[0] - s.markers.x[1]));
        s.out().line(std::string(17, ' ') + "Y1-Y2 = " + g12(s.markers.y[0] - s.markers.y[1]));
    }
    mark_point(s, x, y, std::to_string(k + 1));
}

void normalise(Session& s, float h) {
    s.out().line("Present height = " + g13(h) + ", put cross hairs on desired height and ");
    s.out().line("press space-bar. (Any other key aborts.)");
    char key = 'Q';
    float x = 0.0f, h2 = 0.0f;
    if (!cross_hair(s, s.draw.last_device, key, x, h2) || key != ' ') {
        s.out().line("Normalization aborted.");
        return;
    }
    if (std::fabs(h) < 1e-20f || std::fabs(h2) < 1e-20f) return;
    const float factor = h2 / h;
    for (int i = 0; i < s.data.count; ++i) {
        s.data.Y[static_cast<std::size_t>(i)] *= factor;
        s.data.SIGMA[static_cast<std::size_t>(i)] *= factor;
    }
    s.out().line("Normalization factor = " + g13(factor));
    redraw(s);
}

// The spectrum kind for the physics keys: R or X; anything else is said.
char physics_kind(Session& s) {
    const char kind = static_cast<char>(std::toupper(static_cast<unsigned char>(s.data.spectrum_kind)));
    if (kind == 'R' || kind == 'X') return kind;
    s.out().line("Unknown spectral type.");
    return ' ';
}

void identify(Session& s, float x, float y) {
    const char kind = physics_kind(s);
    if (kind == 'X') {
        double energy = x;
        FixedText<4> name;
        if (lines_near(s.out(), xray_database(s), energy, name))
            label_peak(s, static_cast<float>(energy), y, name.trimmed());
        return;
    }
    if (kind != 'R') return;
    const Beam beam = current_beam(s);
    const double k = x * 0.001 / (beam.energy_kev / 1000.0);
    // An impossible K gives mass 0, which the weight lookup then calls too light.
    const double mass = target_mass(s.out(), beam.mass, k, beam.angle);
    FixedText<2> symbol("? ");
    int z = 0;
    float weight = static_cast<float>(mass);
    element_lookup(s.out(), symbol, z, weight);
    if (z < 1) return;
    const double energy = kinematic_factor(beam.mass, weight, beam.angle) * beam.energy_kev;
    label_peak(s, static_cast<float>(energy), y, trimmed(element_symbol(z)));
}

void enter_peak(Session& s, float x) {
    const char kind = physics_kind(s);
    if (kind == ' ') return;
    const std::string at(trim(format_G(x, 12, 5, 1)));
    const std::string prompt = kind == 'R' ? "Element name for surface energy at " + at + " > "
                                           : "X-ray line at " + at + "(K assumed unless L specified) > ";
    auto name = ask_text(s, prompt, 4);
    if (!name) return;
    add_calibration_peak(s.out(), s.physics.calibration, *name, x, kind);
}

void calibrate_spectrum(Session& s) {
    const char kind = physics_kind(s);
    if (kind == ' ') return;
    const Beam beam = kind == 'R' ? current_beam(s) : Beam{};
    const Calibration c = calibrate(s.out(), xray_database(s), s.physics.calibration, kind, beam);
    if (!c.apply) return;
    ExperimentalParameters& e = s.data.experiment;
    e.energy_per_channel() = static_cast<float>(c.fit.slope);
    e.energy_offset() = static_cast<float>(c.fit.intercept);
    for (int i = 0; i < s.data.count; ++i) {
        float& x = s.data.X[static_cast<std::size_t>(i)];
        x = static_cast<float>(c.fit.slope * x + c.fit.intercept);
    }
    s.data.x_label = "Energy (keV)";
    redraw(s);
}

void scan_angles(Session& s) {
    const char kind = physics_kind(s);
    if (kind == 'X') s.out().line("The angle scan is for RBS spectra only.");
    if (kind != 'R') return;
    angle_scan(s.out(), xray_database(s), s.physics.calibration, current_beam(s));
}

// The region between markers 1 and 2, lower end first.
std::pair<float, float> marker_region(const Session& s) {
    const float a = static_cast<float>(s.markers.x[0]), b = static_cast<float>(s.markers.x[1]);
    return {std::min(a, b), std::max(a, b)};
}

// Keeps the points for which `keep` holds, closing up the arrays.
template <class Keep>
void keep_points(Session& s, Keep keep) {
    DataSet& d = s.data;
    int n = 0;
    for (int i = 0; i < d.count; ++i) {
        const auto k = static_cast<std::size_t>(i);
        if (!keep(d.X[k])) continue;
        const auto m = static_cast<std::size_t>(n++);
        d.X[m] = d.X[k];
        d.Y[m] = d.Y[k];
        d.SIGMA[m] = d.SIGMA[k];
    }
    d.count = n;
}

void edit_data(Session& s, char key, float x, float y) {
    DataSet& d = s.data;
    const auto [lo, hi] = marker_region(s);
    switch (key) {
    case 'F':
        for (int i = 0; i < d.count; ++i) {
            const auto k = static_cast<std::size_t>(i);
            if (d.X[k] < lo || d.X[k] > hi) continue;
            d.Y[k] = 0.0f;
            d.SIGMA[k] = d.spectrum_loaded ? 1.0f : 0.0f;
        }
        break;
    case 'W': keep_points(s, [&](float v) { return v >= lo && v <= hi; }); break;
    case 'E': keep_points(s, [&](float v) { return !(v > lo && v < hi); }); break;
    case 'C':
        for (int i = 0; i < d.count; ++i) {
            d.X[static_cast<std::size_t>(i)] -= x;
            d.Y[static_cast<std::size_t>(i)] -= y;
        }
        break;
    default: return;
    }
    redraw(s);
}

void append_point(Session& s, float x, float y, float sigma) {
    DataSet& d = s.data;
    if (d.count >= kMaxPoints) {
        s.out().line("The data set is full (" + std::to_string(kMaxPoints) + " points).");
        return;
    }
    const auto k = static_cast<std::size_t>(d.count++);
    d.X[k] = x;
    d.Y[k] = y;
    d.SIGMA[k] = sigma;
    mark_point(s, x, y, "");
}

void cross_hair_dialogue(Session& s) {
    if (!s.draw.picture_drawn) {
        s.out().line("No current display!\x07");
        return;
    }
    for (;;) {
        char key = 'Q';
        float x = 0.0f, y = 0.0f;
        if (!cross_hair(s, s.draw.last_device, key, x, y)) return;
        if (!bump_key(s, key, x, y)) return;
    }
}

} // namespace

std::string marker_file_text(const Session& s) {
    std::string text;
    for (std::size_t line = 0; line < 2; ++line) {
        text += " ";
        for (std::size_t k = 3 * line; k < 3 * line + 3; ++k) {
            text += g13(s.markers.x[k]) + "," + g13(s.markers.y[k]);
            if (k < 3 * line + 2) text += ",";
        }
        text += "\n";
    }
    return text;
}

bool bump_key(Session& s, char key, float x, float y) {
    key = static_cast<char>(std::toupper(static_cast<unsigned char>(key)));
    constexpr std::string_view shifted = "!@#$%&";
    if (key >= '1' && key <= '6') {
        set_marker(s, static_cast<std::size_t>(key - '1'), x, y);
        return true;
    }
    if (const std::size_t k = shifted.find(key); k != std::string_view::npos) {
        set_marker(s, k, x, y);
        return true;
    }
    switch (key) {
    case 'N': normalise(s, y); break;
    case '/':
    case '?': identify(s, x, y); break;
    case 'M': enter_peak(s, x); break;
    case 'Z':
        s.physics.calibration.count = 0;
        s.out().line("All elements deleted from list.");
        break;
    case 'T': scan_angles(s); break;
    case 'G': calibrate_spectrum(s); break;
    case 'F':
    case 'W':
    case 'E':
    case 'C': edit_data(s, key, x, y); break;
    case 'P':
    case 'S': append_point(s, x, y, key == 'P' ? 0.0f : 3.0f); break;
    case 'Q': return false;
    default:
        s.out().line("Key not used by BUMP. Keys: 1-6 markers, N, /, M, Z, T, G, F, W, E, C, P, S; Q ends.");
        break;
    }
    return true;
}

void cmd_bump(Session& s, CommandContext& ctx) {
    switch (ctx.qualifier) {
    case 'S': save_markers(s); return;
    case 'R': read_markers(s); return;
    case 'L': list_markers(s); return;
    case ' ': cross_hair_dialogue(s); return;
    default: s.out().line("Unknown option.\x07"); return;
    }
}

} // namespace tarva
