// MCA: reading spectrum files into the data set, and the small qualifiers
// that work on the spectrum buffer and the data set in place.
#include <cmath>
#include <fstream>
#include <string>

#include "commands/commands.h"
#include "commands/mca/mca_command.h"
#include "commands/mca/mca_io.h"
#include "dataset/mca/mca_load.h"
#include "text/format.h"
#include "text/regular_file.h"

namespace tarva {

namespace {

// A binary spectrum is 4248 bytes; anything far larger is not one.
constexpr std::size_t kLargestSpectrumFile = 16u << 20;

void cannot_open(Session& s, const std::string& name) {
    s.out().line("Unable to open " + name + " for input.");
    s.out().blank_line();
}

bool read_binary(Session& s, const std::string& name, bool channels_on_x) {
    auto bytes = read_small_file(name, kLargestSpectrumFile);
    if (!bytes) {
        cannot_open(s, name);
        return false;
    }
    s.data.file_name = name;
    if (!s.data.spectrum_options.old_spectra) {
        if (auto record = decode_spectrum(*bytes)) {
            load_spectrum(*record, kMaxPoints, channels_on_x, s.data, s.out());
            select_spectrum_function(s);
            return true;
        }
        s.out().line("Error reading spectrum, trying again using old format.");
    }
    // Old counts reach the buffer only; MCA/O can then make them the data.
    if (auto counts = decode_old_spectrum(*bytes)) s.data.spectrum = *counts;
    s.out().line(" Unable to read data.");
    return false;
}

bool read_ascii(Session& s, const std::string& name) {
    auto text = read_small_file(name, 1u << 20);
    if (!text) {
        cannot_open(s, name);
        return false;
    }
    s.data.file_name = name;
    auto spectrum = decode_ascii_spectrum(*text);
    if (!spectrum) {
        s.out().line(" Unable to read data.");
        return false;
    }
    // The ASCII form has no type word: the spectrum keeps its kind.
    spectrum->record.type = type_of_kind(s.data.spectrum_kind);
    load_spectrum(spectrum->record, spectrum->count, false, s.data, s.out());
    select_spectrum_function(s);
    return true;
}

bool read_columns(Session& s, const std::string& name, char layout) {
    std::ifstream file;
    if (!open_regular(file, name)) {
        cannot_open(s, name);
        return false;
    }
    s.out().line("Reading data from " + name);
    s.out().blank_line();
    s.data.file_name = name;
    read_column_spectrum(file, layout, name, s.data, s.out());
    select_spectrum_function(s);
    return true;
}

void read_spectrum(Session& s, CommandContext& ctx) {
    bool failed = false;
    const std::string name = mca_file_name(s, ctx, failed);
    ctx.number = failed ? 1.0 : 0.0;
    if (name.empty()) return;
    bool ok = false;
    switch (ctx.qualifier) {
    case 'U':
    case 'V': ok = read_columns(s, name, ctx.qualifier); break;
    case 'X': ok = read_ascii(s, name); break;
    default: ok = read_binary(s, name, ctx.qualifier == 'W'); break;
    }
    if (!ok) ctx.number = 1.0;
}

void reset_from_buffer(Session& s) {
    DataSet& d = s.data;
    const float first = d.experiment.first_channel();
    for (std::size_t i = 0; i < d.spectrum.size(); ++i) {
        d.Y[i] = static_cast<float>(d.spectrum[i]);
        d.SIGMA[i] = std::abs(d.Y[i]) > 1e-10f ? std::sqrt(std::abs(d.Y[i])) : 1.0f;
        d.X[i] = static_cast<float>(i + 1) + first - 1.0f;
    }
    d.x_label = "Channel";
    s.out().line("Data reset to MCA raw data.");
    d.log_y = d.log_scale_y = 0;
}

void overwrite_buffer(Session& s) {
    for (int i = 0; i < s.data.count; ++i)
        s.data.spectrum[static_cast<std::size_t>(i)] = count_of(s.data.Y[static_cast<std::size_t>(i)]);
    s.out().line(" Spectrum buffer overwritten with existing data.");
}

void chop(Session& s, double argument) {
    DataSet& d = s.data;
    const float top = 1000.0f * d.experiment.beam_energy();
    const float width = argument > 1e-10 ? static_cast<float>(argument) : 1000.0f;
    const float bottom = top - width;
    s.out().line(" Chopping spectrum to " + free_real(bottom) + " to " + free_real(top) + " keV.");
    int kept = 0;
    for (int i = 0; i < d.count; ++i) {
        const auto k = static_cast<std::size_t>(i);
        if (d.X[k] < bottom || d.X[k] > top) continue;
        const auto to = static_cast<std::size_t>(kept++);
        d.X[to] = d.X[k];
        d.Y[to] = d.Y[k];
        d.SIGMA[to] = d.SIGMA[k];
    }
    d.count = kept;
    s.out().line(" Spectrum reduced to " + std::to_string(kept) + " data points. (NOT DEBUGGED)");
}

} // namespace

void cmd_mca(Session& s, CommandContext& ctx) {
    SpectrumOptions& opt = s.data.spectrum_options;
    switch (ctx.qualifier) {
    case ' ':
    case 'W':
    case 'U':
    case 'V':
    case 'X': read_spectrum(s, ctx); return;
    case 'S':
    case 'A': save_spectrum(s, ctx); return;
    case 'O': reset_from_buffer(s); return;
    case 'B': overwrite_buffer(s); return;
    case 'C': chop(s, ctx.number); return;
    case 'T':
    case 'P':
    case 'Q':
        if (ctx.number > 1e-10) {
            opt.window_label_size = static_cast<float>(ctx.number);
            s.out().line(" Window label size set to " + free_real(opt.window_label_size));
        }
        return;
    case 'Z':
        opt.digital_offset = round_nearest(ctx.number);
        s.out().line("Digital offset " + std::to_string(opt.digital_offset) + ", uncompressed spectrum selected.");
        return;
    case 'E':
    case 'D': switch_option(s, ctx, ctx.qualifier == 'E'); return;
    case 'I':
    case 'R':
    case 'N':
    case 'L': experiment_dialogue(s, ctx); return;
    default: s.out().line(std::string("Unknown option for MCA files - ") + ctx.qualifier + "\x07");
    }
}

} // namespace tarva
