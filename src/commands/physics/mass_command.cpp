// MASS: settings of the mass scale, the list of labelled elements, and the
// scale itself drawn over the last picture.
#include <algorithm>
#include <cctype>
#include <fstream>
#include <string>
#include <vector>

#include "commands/commands.h"
#include "commands/physics/current_beam.h"
#include "commands/physics/mass_scale.h"
#include "physics/element_table.h"
#include "session/dialogue.h"
#include "session/session.h"
#include "text/format.h"
#include "text/regular_file.h"

namespace tarva {

namespace {

std::string trimmed_text(const std::string& s) { return std::string(trimmed(s)); }

// Adds an element by typed symbol; false (and a message) when it is not
// one or the list is full.
bool label_element(Session& s, const std::string& typed) {
    MassScaleSettings& m = s.physics.mass;
    if (m.element_count >= kMaxLabelledElements) {
        s.out().line("Too many special elements.");
        return false;
    }
    const int z = find_symbol(normalised_symbol(typed).view());
    if (z == 0) {
        s.out().line("Unknown element " + typed);
        return false;
    }
    m.elements[static_cast<std::size_t>(m.element_count++)] = z;
    return true;
}

void list_elements(Session& s) {
    const MassScaleSettings& m = s.physics.mass;
    s.out().line("Enabled elements: " + format_I(m.element_count, 3));
    for (int i = 0; i < m.element_count; ++i) {
        const int z = m.elements[static_cast<std::size_t>(i)];
        s.out().line(format_I(z, 3) + "  " + std::string(element_symbol(z)) +
                     " wt: " + format_F(atomic_weight(z), 8, 3) + " u");
    }
}

void ask_elements(Session& s) {
    while (true) {
        if (s.physics.mass.element_count >= kMaxLabelledElements) {
            s.out().line("Too many special elements.");
            return;
        }
        auto answer = ask_text(s, "Symbol of element to label (CR to end) > ", 10);
        if (!answer) return;
        std::string typed = *answer;
        left_justify(typed);
        typed = trimmed_text(typed);
        if (typed.empty()) return;
        label_element(s, typed);
    }
}

void scale_setup(Session& s, const Beam& beam) {
    MassScaleSettings& m = s.physics.mass;
    auto size = ask_real(s, "Size of numbers on scale (" + std::string(trim(format_F(m.number_size, 5, 2))) + ") > ");
    if (!size) return;
    if (*size > 1e-10) m.number_size = static_cast<float>(std::min(*size, 100.0));
    double start = m.start, end = m.end;
    if (!ask_number_pair(s,
                         "Start and end mass units of scale (" + std::string(trim(format_I(m.start, 4))) + "," +
                             std::string(trim(format_I(m.end, 4))) + ") > ",
                         start, end))
        return;
    m.start = std::max(round_nearest(start), round_nearest(beam.mass) + 1);
    m.end = end > 500.0 ? 230 : round_nearest(end);
}

// The labelled elements from an experimental-parameters file: the ten
// parameters first, then element symbols separated by blanks or commas.
void elements_from_file(Session& s, std::string name) {
    if (name.empty()) {
        auto answer = ask_file_name(s, "Filename of experimental parameters > ", 80);
        if (!answer) return;
        left_justify(*answer);
        name = trimmed_text(*answer);
        if (name.empty()) return;
    }
    if (name.find('.') == std::string::npos) name += ".EXP";
    std::ifstream in;
    if (!open_regular(in, name)) {
        s.out().line("Unable to open " + name + " for input.");
        return;
    }
    std::vector<std::string> words;
    std::string line;
    while (std::getline(in, line)) {
        for (char& c : line)
            if (c == ',' || c == '\t' || c == '\r') c = ' ';
        std::size_t i = 0;
        while ((i = line.find_first_not_of(' ', i)) != std::string::npos) {
            const std::size_t j = std::min(line.find(' ', i), line.size());
            words.push_back(line.substr(i, j - i));
            i = j;
        }
    }
    s.physics.mass.element_count = 0;
    int numbers = 0;
    for (const std::string& w : words) {
        if (numbers < 10 && read_real_field(w)) {
            ++numbers;
            continue;
        }
        if (!label_element(s, w) && s.physics.mass.element_count >= kMaxLabelledElements) break;
    }
    s.out().line(" Elements from data file enabled.");
}

} // namespace

void cmd_mass(Session& s, CommandContext& ctx) {
    // The word after MASS: its first letter chooses the action, the rest of
    // the line is split again for its number or text.
    // MASS/I and the like are taken as MASS I.
    std::string rest(ctx.argument_trimmed());
    if (ctx.qualifier != ' ') rest = std::string(1, ctx.qualifier) + " " + rest;
    const char letter = rest.empty() ? ' ' : static_cast<char>(std::toupper(static_cast<unsigned char>(rest[0])));
    std::string after = rest.empty() ? "" : rest.substr(1);
    left_justify(after);
    after = trimmed_text(after);
    MassScaleSettings& m = s.physics.mass;

    switch (letter) {
    case 'I':
    case 'J': {
        FixedText<40> line(rest);
        char qualifier = ' ';
        double number = 0.0;
        parse_command_line(line, qualifier, number);
        m.individual = true;
        m.arrows_above_data = letter == 'J';
        if (number != 0.0) m.pointer_y = number;
        s.out().line(letter == 'I' ? "Individual mass mode enabled."
                                   : "Individual mass mode enabled, arrows above data.");
        return;
    }
    case 'P':
        m.pointer = after;
        s.out().line("Pointer in individual mode " + std::string(m.pointer.trimmed()));
        return;
    case 'A':
        m.individual = false;
        s.out().line("All masses mode enabled.");
        return;
    case 'C':
        m.element_count = 0;
        s.out().line("All elements disabled.");
        return;
    case 'S': scale_setup(s, current_beam(s)); return;
    case 'V': list_elements(s); return;
    case 'L': ask_elements(s); return;
    case 'F':
    case 'E':
    case 'D': elements_from_file(s, after); return;
    case ' ': break;
    default: s.out().line("Unknown or ambiguous option.\x07"); return;
    }
    if (!s.draw.picture_drawn) {
        s.out().line("No plot current!");
        return;
    }
    draw_mass_scale(s, current_beam(s));
}

} // namespace tarva
