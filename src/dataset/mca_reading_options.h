// The switches of the spectrum readers, kept for the whole run and changed
// only by MCA/E and MCA/D, and the two settings MCA records for others.
#pragma once

namespace tarva {

struct SpectrumOptions {
    bool old_spectra = false; // binary spectra are 16-bit counts
    bool normalise = true;    // divide counts by norm factor, solid angle, charge, keV/ch
    bool fix_up = true;       // zero the first channel of a binary spectrum
    bool log_first = false;   // log10 of the counts before normalisation
    bool sticky = false;      // keep the experimental parameters across files
    bool compress = false;    // one point per line of a column text spectrum
    bool window = false;      // no longer has any effect
    float window_label_size = 0.0f;
    int digital_offset = 0;
};

} // namespace tarva
