// XRAY: the lines of an element (or of a calibration source) listed from the
// line database and marked on the last picture, and the marker settings.
#include <algorithm>
#include <cctype>
#include <optional>
#include <string>
#include <vector>

#include "commands/commands.h"
#include "commands/physics/xray_plot.h"
#include "physics/element_table.h"
#include "session/dialogue.h"
#include "session/session.h"
#include "text/format.h"

namespace tarva {

namespace {

char first_letter(std::string_view text) {
    const std::size_t i = text.find_first_not_of(' ');
    return i == std::string_view::npos ? ' ' : static_cast<char>(std::toupper(static_cast<unsigned char>(text[i])));
}

// A set found for the user's answer, with the text that labels its markers.
struct FoundSet {
    FixedText<4> name;
    int isotope = 0;
    int count = 0;
    std::array<float, kMaxXrayLines> energy{};
    std::array<float, kMaxXrayLines> intensity{};
    std::string label;
};

// Asks for a set ("FE/K", "C/L", "AM/G 241"), announces and lists it.
// Nothing when the input ended, the answer was blank or named no element.
std::optional<FoundSet> ask_set(Session& s) {
    auto answer = ask_text(s, "X-ray line to be plotted > ", 40);
    if (!answer) return std::nullopt;
    left_justify(*answer);
    FixedText<40> line(*answer);
    if (line.blank()) return std::nullopt;
    char family = ' ';
    double number = 0.0;
    parse_command_line(line, family, number);
    if (family == ' ') family = 'K';
    const std::string symbol(line.view().substr(0, 2));
    if (find_symbol(normalised_symbol(symbol).view()) == 0) {
        s.out().line("Unknown element: " + std::string(trimmed(symbol)) + "\x07");
        return std::nullopt;
    }
    FoundSet f;
    f.isotope = round_nearest(number);
    f.name = symbol + " " + std::string(1, family);
    if (family == 'G' && f.isotope < 1) {
        s.out().line("Gamma ray lines must be specified with an isotope number!");
        s.out().line("Example: AM/G 241 for the lines of americium 241.");
        return std::nullopt;
    }
    const std::string name(f.name.trimmed());
    if (family == 'G') {
        f.label = std::string(trim(format_I(f.isotope, 3))) + "-" + name;
        s.out().line("Finding lines of " + format_I(f.isotope, 3) + "-" + name);
    } else {
        f.label = name;
        s.out().line("Finding x-ray lines of " + name);
    }
    int index = 0;
    xray_set(s.out(), xray_database(s), f.name, f.isotope, index, f.count, f.energy, f.intensity);
    s.out().line("Line: " + f.name.str() + ", Isotope: " + format_I(f.isotope, 3) +
                 ", Data base index: " + format_I(index, 3) + ", No. lines: " + format_I(f.count, 2));
    s.out().line("Energy (keV)       Relative Intensity");
    s.out().line("-------------------------------------");
    for (int i = 0; i < f.count; ++i)
        s.out().line(format_F(f.energy[static_cast<std::size_t>(i)], 10, 3) +
                     format_F(f.intensity[static_cast<std::size_t>(i)], 19, 3));
    return f;
}

void draw_if_current(Session& s, const std::vector<LineMarker>& lines, std::string_view label) {
    if (!s.draw.picture_drawn) {
        s.out().line("No plot current.");
        return;
    }
    draw_line_markers(s, lines, label);
}

void plot_set(Session& s) {
    auto f = ask_set(s);
    if (!f) return;
    std::vector<LineMarker> lines;
    for (int i = 0; i < f->count; ++i)
        lines.push_back({f->energy[static_cast<std::size_t>(i)], f->intensity[static_cast<std::size_t>(i)]});
    draw_if_current(s, lines, f->label);
}

// XRAY/P (pile-up at twice the energy) and XRAY/C (silicon escape peak,
// 1.736 keV below): one marker from the set's strongest line.
void plot_derived(Session& s, bool pile_up) {
    auto f = ask_set(s);
    if (!f) return;
    if (f->count < 1) {
        draw_if_current(s, {}, "");
        return;
    }
    const auto end = f->intensity.begin() + f->count;
    const std::size_t k = static_cast<std::size_t>(std::max_element(f->intensity.begin(), end) - f->intensity.begin());
    const float e = f->energy[k];
    draw_if_current(s, {{pile_up ? 2.0f * e : e - 1.736f, 1.0f}},
                    std::string(f->name.trimmed()) + (pile_up ? " P" : " esc"));
}

void special_line(Session& s) {
    auto name = ask_text(s, "Name of special x-ray line to be plotted > ", 50);
    if (!name) return;
    const std::string label(trim(*name));
    if (label.empty()) return;
    auto energy = ask_real(s, "Energy of special x-ray line > ");
    if (!energy) return;
    draw_if_current(s, {{static_cast<float>(*energy), 1.0f}}, label);
}

void set_threshold(Session& s, double number) {
    XraySettings& x = s.physics.xray;
    if (number < 1e-10) {
        auto t = ask_real(s, "Threshold level for lowest relative intensity line (" +
                                 std::string(trim(format_F(x.threshold, 6, 3))) + ") new > ");
        if (!t) return;
        number = *t;
    }
    x.threshold = number;
    s.out().line("Threshold set to " + std::string(trim(format_F(x.threshold, 6, 3))));
}

void set_height(Session& s) {
    XraySettings& x = s.physics.xray;
    auto h = ask_real(s, "Height for plotting x-ray line markers (0=auto, present=" +
                             std::string(trim(format_G(x.height, 12, 5))) + ") new > ");
    if (!h) return;
    x.height = std::max(*h, 0.0);
    s.out().line("X-ray line plot height set to " + std::string(trim(format_G(x.height, 12, 5))));
}

} // namespace

void cmd_xray(Session& s, CommandContext& ctx) {
    XraySettings& x = s.physics.xray;
    const char word = first_letter(ctx.argument());
    switch (ctx.qualifier) {
    case 'L': {
        const int n = round_nearest(ctx.number);
        x.max_lines = std::max(n, 0);
        s.out().line(n < 1 ? "All lines plotted." : "No more than " + format_I(n, 2) + " lines plotted.");
        return;
    }
    case 'T': set_threshold(s, ctx.number); return;
    case 'H': set_height(s); return;
    case 'X': special_line(s); return;
    case 'E':
    case 'D':
        if (word != 'U') break;
        x.upside_down = ctx.qualifier == 'E';
        s.out().line(x.upside_down ? "X-ray lines plotted upside down."
                                   : "X-ray lines plotted right side up as usual.");
        return;
    case 'S':
        x.symbol_end = word == 'L' || word == 'R' ? word : 'C';
        s.out().line(word == 'L'   ? "Symbols plotted on left end."
                     : word == 'R' ? "Symbols plotted on right end."
                                   : "Symbols plotted in centre.");
        return;
    case 'P':
    case 'C': plot_derived(s, ctx.qualifier == 'P'); return;
    case ' ': plot_set(s); return;
    default: break;
    }
    s.out().line("Unknown option.\x07");
}

} // namespace tarva
