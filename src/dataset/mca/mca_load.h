// Filling the data set from a spectrum: the binary (or ASCII) spectrum with
// its calibration and normalisation, and the column text spectra.
#pragma once

#include <istream>
#include <string_view>

#include "dataset/data_set.h"
#include "dataset/mca/mca_layout.h"
#include "io/output_sink.h"

namespace tarva {

// Puts the first `count` channels of a spectrum into the data set (X from
// the calibration, or channel numbers when `channels_on_x`; Y and SIGMA
// normalised as the options say), keeps the raw counts in the spectrum
// buffer, loads the file's parameters unless they are sticky, and prints the
// summary. The caller selects the model function.
void load_spectrum(const SpectrumRecord& record, int count, bool channels_on_x, DataSet& data, OutputSink& out);

// Column text spectra: `layout` 'U' (channel I4, six F8.0 counts) or 'V'
// (channel I4, five F10.0 counts) after a heading line. Fills the data set
// line by line and prints the summary; returns the number of points.
int read_column_spectrum(std::istream& in, char layout, std::string_view file_name, DataSet& data, OutputSink& out);

} // namespace tarva
