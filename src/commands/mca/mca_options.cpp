// MCA/E and MCA/D: the reading options, one letter at a time.
#include <cctype>

#include "commands/mca/mca_command.h"

namespace tarva {

namespace {

struct OptionText {
    char letter;
    bool SpectrumOptions::*flag;
    const char* enabled;
    const char* disabled;
};

constexpr OptionText kOptions[] = {
    {'O', &SpectrumOptions::old_spectra, " Old MCA spectra enabled (I*2)", "Old style MCA spectra disabled (I*2)"},
    {'N', &SpectrumOptions::normalise, " Normalization mode enabled", "Normalization mode disabled."},
    {'F', &SpectrumOptions::fix_up, " Fix-up mode enabled: first channel zeroed.",
     " Fix-up mode disabled: first channel not zeroed."},
    {'P', &SpectrumOptions::log_first, " Log of y taken before normalization.", " Log not taken of y-axis."},
    {'S', &SpectrumOptions::sticky, " Experimental parameters will stick to all future files.",
     " Experimental parameters will not stick to all future files."},
    {'C', &SpectrumOptions::compress, "Compressing 2 data points into 1 from ACCUSPEC data files.",
     "Not compressing 2 data points into 1 from ACCUSPEC data files."},
};

} // namespace

void switch_option(Session& s, const CommandContext& ctx, bool on) {
    SpectrumOptions& opt = s.data.spectrum_options;
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(ctx.line[7])));
    for (const OptionText& o : kOptions) {
        if (o.letter != letter) continue;
        opt.*o.flag = on;
        s.out().line(on ? o.enabled : o.disabled);
        return;
    }
    if (letter == 'W') {
        opt.window = on;
        s.out().line(on ? " Window loading enabled." : " Window loading disabled.");
        s.out().line(" NO LONGER A VALID OPTION.");
    } else if (letter == 'Z' && !on) {
        opt.digital_offset = 0;
        s.out().line("Digital offset 0, entire spectrum (compressed) selected.");
    } else {
        s.out().line("Unknown option");
    }
}

} // namespace tarva
