// MCA/S and MCA/A: the data set written as a spectrum file.
#include "commands/mca/mca_command.h"
#include "dataset/mca/mca_layout.h"
#include "session/dialogue.h"
#include "text/safe_file.h"

namespace tarva {

namespace {

// Data that did not come from a spectrum: its rounded Y become the counts
// and its first two X the calibration.
void counts_from_data(Session& s) {
    DataSet& d = s.data;
    s.out().line("The present data does not appear to be a spectrum, the");
    s.out().line("y-axis will be rounded to integers in the saved file.\x07");
    for (std::size_t i = 0; i < d.spectrum.size(); ++i)
        d.spectrum[i] = static_cast<int>(i) < d.count ? count_of(d.Y[i]) : 0;
    ExperimentalParameters& p = d.experiment;
    p.energy_offset() = d.count > 0 ? d.X[0] : 0.0f;
    // One point gives no step; channels of 1 keV then.
    p.energy_per_channel() = d.count > 1 ? d.X[1] - d.X[0] : 1.0f;
    p.normalisation() = 1.0f;
    p.first_channel() = 1.0f;
}

} // namespace

void save_spectrum(Session& s, CommandContext& ctx) {
    bool failed = false;
    const std::string name = mca_file_name(s, ctx, failed);
    ctx.number = failed ? 1.0 : 0.0;
    if (name.empty()) return;
    const bool binary = ctx.qualifier == 'S';
    SafeFileWriter file(name);
    if (!file.open()) {
        s.out().line("Unable to open " + name);
        ctx.number = 1.0;
        return;
    }
    s.out().line((binary ? "Saving as binary file " : "Saving as ascii file ") + name);
    DataSet& d = s.data;
    if (!d.spectrum_loaded) counts_from_data(s);
    d.experiment.channels() = static_cast<float>(d.count);

    SpectrumRecord record;
    record.counts = d.spectrum;
    record.type = type_of_kind(d.spectrum_kind);
    record.caption = d.caption.view();
    record.parameters = d.experiment.value;
    file.write(binary ? encode_spectrum(record) : ascii_spectrum_text(record, d.count));
    if (file.commit() != ReplaceStatus::Ok) {
        // The earlier file, if any, is still there unchanged.
        s.out().line("Unable to write " + name + " completely... spectrum not saved.\x07");
        ctx.number = 1.0;
    }
}

} // namespace tarva
