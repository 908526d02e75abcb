// Importing the files instruments and other programs write: the layout is
// recognised by content and read into an InstrumentSpectrum, which a small
// separate step turns into points of the data set (a channel window,
// channels summed into points, SIGMA, the calibration as experimental
// parameters). Nothing here sees the session: IMPORT, and any other
// caller, asks for the window and reports what was done.
//
//   auto imported = import_file("xrf.spe", ChannelWindow{.first = 1200});
//   if (!imported) complain(imported.error);
//   else store_import(*imported.value, data_set);
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dataset/data_set.h"
#include "dataset/import/instrument_spectrum.h"

namespace tarva {

// The channels to read. Channels are numbered as the file numbers them.
struct ChannelWindow {
    std::optional<long> first; // none: the spectrum's first channel
    std::optional<long> last;  // none: the last, or as many as 1024 points hold from `first`
    int group = 0;             // channels summed into one point; 0: 1, or as many
                               // as the whole spectrum needs to fit 1024 points
};

// Which columns of a table to take, each a column name (any case) or a
// 1-based number; empty: by position (1 column: counts per channel; 2: X
// and Y; 3 or more: X, Y and SIGMA).
struct ColumnChoice {
    std::string x;     // X column; Y is the next one unless `y` names it
    std::string y;     // alone: the counts per channel, X the channel number
    std::string sigma; // SIGMA column (with `x`)
};

// The points of an import, ready for the data set.
struct ImportedData {
    InstrumentSpectrum source; // what the reader found (layout, title, times, notes)
    bool spectrum = true;      // counts per channel; false: an X-Y table
    std::vector<float> x, y, sigma;
    std::vector<std::int32_t> counts; // per point, spectra only
    // Spectra: the channels of the file, those read and the channels per
    // point; tables: rows (from 1), those read, group 1.
    long channels = 0, first_read = 0, last_read = 0;
    long file_first = 0; // the number of the file's first channel (or row 1)
    int group = 1;
    long left_out = 0; // channels at the end of the window that make no whole group
    // Energy of the point at X (its channel): per_channel * X + offset, for
    // the experimental parameters; with the unit of the file's calibration.
    std::optional<double> per_channel, offset;
    std::string energy_unit;
    double quadratic = 0;                         // a quadratic term the line does not keep
    bool calibration_from_x = false;              // the line comes from a column of X values
    std::string x_column, y_column, sigma_column; // names of the columns taken
    std::string caption, x_label, y_label;
};

// The file's bytes when it is a regular file of at most 64 MB.
Outcome<std::string> read_instrument_bytes(const std::string& path);

// The file in whatever layout it holds (readers.h lists them).
ReadOutcome read_instrument_file(const std::string& path);
ReadOutcome read_instrument_data(const std::string& path, std::string_view bytes);

// The window and the columns applied to what a reader found; `file_name`
// makes the caption. Fails with the numbers when the window lies outside
// the spectrum or does not fit 1024 points.
Outcome<ImportedData> import_spectrum(const InstrumentSpectrum& source, const ChannelWindow& window,
                                      const ColumnChoice& columns, std::string_view file_name);

// read_instrument_file and import_spectrum in one.
Outcome<ImportedData> import_file(const std::string& path, const ChannelWindow& window = {},
                                  const ColumnChoice& columns = {});

// Replaces the data set by the points: X, Y, SIGMA, labels, caption and the
// current file name; for a spectrum also the spectrum buffer (the counts
// per point, zero beyond), the spectrum-loaded flag, kind X and, unless the
// experimental parameters stick (MCA/E S), their number of channels, first
// channel (as MCA counts, from 1: the file's first channel is 1), energy
// per channel, offset and normalisation 1. Log flags cleared.
void store_import(const ImportedData& imported, DataSet& data, std::string_view file_name);

// What was done, one line each (without the leading blank): the layout,
// the reader's notes, the channels read, the calibration, the times.
std::vector<std::string> import_report(const ImportedData& imported, std::string_view file_name);

// The name of the spectrum layout whose marks the bytes carry ($SPEC_ID /
// $DATA text, <<PMCA SPECTRUM>> text, the binary MCA headers), or "".
std::string spectrum_layout_of(std::string_view bytes);

} // namespace tarva
