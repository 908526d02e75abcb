// MCA/I, R, N and L: the experimental parameters of a spectrum read from a
// parameter file, asked for one by one, and saved back.
#include <algorithm>
#include <cctype>
#include <optional>

#include "commands/mca/mca_command.h"
#include "commands/mca/mca_io.h"
#include "session/dialogue.h"
#include "text/format.h"
#include "text/safe_file.h"

namespace tarva {

namespace {

constexpr float kTiny = 1e-10f;

// The ten parameters in free format, across lines; nullopt when fewer than
// ten numbers read.
std::optional<std::array<float, 10>> parse_parameters(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    std::replace(text.begin(), text.end(), '\r', ' ');
    std::array<double, 10> values{};
    auto got = read_list(text, values);
    if (!got || *got < 10) return std::nullopt;
    std::array<float, 10> p{};
    for (std::size_t i = 0; i < p.size(); ++i) p[i] = static_cast<float>(values[i]);
    return p;
}

std::string parameter_file_text(const std::array<float, 10>& p) {
    std::string text;
    for (float v : p) text += " " + g12(v) + "\n";
    return text;
}

// One value with the current one as the default a blank answer keeps.
bool ask_value(Session& s, const std::string& prompt, float& v) {
    double a = v, unused = 0.0;
    if (!ask_number_pair(s, prompt, a, unused)) return false;
    v = static_cast<float>(a);
    return true;
}

bool ask_beam_particle(Session& s, ExperimentalParameters& p) {
    s.out().line("Present " + g12(p.beam_mass()) + " amu,");
    auto answer = ask_text(s, "           New beam particle (H, He or Other) > ", 2);
    if (!answer) return false;
    const std::string particle(trimmed(upper(*answer)));
    if (particle == "H") {
        p.beam_mass() = 1.0072767f;
    } else if (particle == "HE") {
        p.beam_mass() = 4.0026f;
    } else if (!particle.empty() && particle[0] == 'O') {
        do {
            if (!ask_value(s, "     Beam particle mass (a.m.u. " + g12(p.beam_mass()) + ") > ", p.beam_mass()))
                return false;
        } while (p.beam_mass() < kTiny);
    }
    return true;
}

// The dialogue proper; false when the input ended inside it.
bool ask_parameters(Session& s) {
    ExperimentalParameters& p = s.data.experiment;
    if (!ask_value(s, "Channel number of first channel (ch, " + format_I(round_nearest(p.first_channel()), 7) + ") > ",
                   p.first_channel()))
        return false;
    s.out().line("Energy calibration:");
    if (!ask_value(s, "    Energy per channel (keV/ch, " + g12(p.energy_per_channel()) + ") > ",
                   p.energy_per_channel()))
        return false;
    if (p.energy_per_channel() < kTiny) p.energy_per_channel() = 1.0f;
    if (!ask_value(s, "            Energy offset (keV, " + g12(p.energy_offset()) + ") > ", p.energy_offset()))
        return false;
    s.out().line("(negative normalization factor is % area of map)");
    if (!ask_value(s, "          Normalization factor (" + g12(p.normalisation()) + ") > ", p.normalisation()))
        return false;
    if (p.normalisation() < 0.0f) p.normalisation() = -100.0f / p.normalisation();
    if (p.normalisation() < kTiny) p.normalisation() = 1.0f;
    if (!ask_beam_particle(s, p)) return false;
    do {
        if (!ask_value(s, "               Beam energy (MeV " + g12(p.beam_energy()) + ") > ", p.beam_energy()))
            return false;
    } while (p.beam_energy() < kTiny);
    if (!ask_value(s, " Detector scattering angle (deg " + g12(p.scattering_angle()) + ") > ", p.scattering_angle()))
        return false;
    if (!ask_value(s, "     Detector solid angle (mstr " + g12(p.solid_angle()) + ") > ", p.solid_angle()))
        return false;
    if (!ask_value(s, " Charge (particle microCoulombs " + g12(p.charge()) + ") > ", p.charge())) return false;
    auto kind =
        ask_text(s, std::string("          X-ray, RBS or Luminescence data (") + s.data.spectrum_kind + ") > ", 1);
    if (!kind) return false;
    if ((*kind)[0] != ' ')
        s.data.spectrum_kind = static_cast<char>(std::toupper(static_cast<unsigned char>((*kind)[0])));
    return true;
}

// The parameter file's name; empty when the command is to end.
std::string parameter_file_name(Session& s, const CommandContext& ctx) {
    std::string name(trim(ctx.argument().substr(0, 30)));
    if (name.empty()) {
        auto answer = ask_file_name(s, "Filename of experimental parameters > ", 80);
        if (!answer) return {};
        name = std::string(trim(*answer));
        if (name.empty()) return {};
    }
    if (name.find('.') == std::string::npos) name += ".EXP";
    return name;
}

} // namespace

void experiment_dialogue(Session& s, CommandContext& ctx) {
    const char q = ctx.qualifier;
    std::string name;
    if (q != 'N') {
        name = parameter_file_name(s, ctx);
        if (name.empty()) return;
        if (auto text = read_small_file(name, 1u << 16)) {
            auto values = parse_parameters(*text);
            if (values)
                s.data.experiment.value = *values;
            else
                s.out().line("Unable to read experimental parameters from " + name);
            if (q == 'I') {
                if (values) s.out().line("Experimental parameters read from " + name);
                return;
            }
        }
    }
    std::optional<SafeFileWriter> file;
    if (!name.empty()) {
        file.emplace(name);
        if (!file->open()) {
            s.out().line("Unable to open a new file " + name);
            file.reset();
        }
    }
    if (!ask_parameters(s)) return;
    if (!file) return;
    file->write(parameter_file_text(s.data.experiment.value));
    if (file->commit() != ReplaceStatus::Ok) {
        s.out().line("Unable to write " + name + " completely... parameters not saved.\x07");
        return;
    }
    s.out().line("Experimental parameters saved in file " + name);
}

} // namespace tarva
