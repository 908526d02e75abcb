// The readers of instrument files, one per layout, and the one table that
// lists them with their signature tests. Each reader takes the whole file
// and trusts nothing in it: every count, offset and length is checked
// against what the file holds.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "dataset/import/instrument_spectrum.h"

namespace tarva {

// The file as the readers see it: its name (xylib reads by name) and bytes.
struct FileBytes {
    std::string path;
    std::string_view bytes;
};

struct InstrumentReader {
    const char* name;                      // the layout, as reports name it
    bool (*signature)(std::string_view);   // whether the bytes carry its marks
    ReadOutcome (*read)(const FileBytes&); // the file in this layout
    bool spectrum_file;                    // a layout of spectra (DATA points to IMPORT)
};

// Hand-written readers first (their signatures are certain), the plain
// text table last of them (any text), then xylib (any file, read by name).
std::span<const InstrumentReader> instrument_readers();

// The text spectrum of gamma and X-ray MCAs: blocks "$NAME:" ($SPEC_ID:,
// $MEAS_TIM: live and real time, $DATA: first and last channel then the
// counts, $ENER_FIT: or $MCA_CAL: the calibration).
bool spe_text_signature(std::string_view bytes);
// The same with a channel range after $DATA: (a data file whose caption
// begins with "$DATA:" has none).
bool spe_text_certain(std::string_view bytes);
ReadOutcome read_spe_text(const FileBytes& file);

// The text spectrum of silicon-drift detector software: <<PMCA SPECTRUM>>,
// "KEY - value" lines, <<CALIBRATION>> (channel and energy pairs),
// <<DATA>> counts, <<END>>.
bool pmca_text_signature(std::string_view bytes);
ReadOutcome read_pmca_text(const FileBytes& file);

// The binary integer spectrum: a 32-byte header (-1, times in 20 ms
// ticks, first channel, number of channels), 32-bit counts, and a 512-byte
// trailer with the calibration and the sample description.
bool chn_signature(std::string_view bytes);
ReadOutcome read_chn(const FileBytes& file);

// Plain text tables of one or more columns.
bool text_table_signature(std::string_view bytes);
ReadOutcome read_text_table(const FileBytes& file);

// The binary MCA layouts xylib reads (Canberra CNF and MCA): their marks,
// for DATA's pointer to IMPORT.
bool xylib_spectrum_signature(std::string_view bytes);

} // namespace tarva
