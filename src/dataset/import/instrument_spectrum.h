// What the readers of instrument files give: a spectrum (counts per
// channel with its calibration and times) or a table of numbers, whatever
// the layout of the file was.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tarva {

// Columns of numbers of equal length, named when the file names them.
struct NumberTable {
    std::vector<std::string> names; // one per column ("" where unnamed)
    std::vector<std::vector<double>> columns;
    std::size_t rows() const { return columns.empty() ? 0 : columns.front().size(); }
};

struct InstrumentSpectrum {
    std::string layout; // the layout's name as reports give it
    std::string title;  // a title or sample description the file holds
    // A spectrum: counts per channel, numbered from first_channel as the
    // file numbers them.
    std::vector<double> counts;
    long first_channel = 0;
    // energy = c0 + c1 ch + c2 ch^2 for channel number ch; empty when the
    // file has none. In keV unless energy_unit names another unit.
    std::vector<double> calibration;
    std::string energy_unit = "keV";
    std::optional<double> live_time; // seconds
    std::optional<double> real_time;
    // Or a table (plain text, most of xylib's layouts), whose columns are
    // chosen when it is imported.
    NumberTable table;
    // What the reader skipped or assumed, one line each.
    std::vector<std::string> notes;
    // Read as a plain table although the file may be in a layout of its
    // own (lines of text before the numbers that are no column names, or
    // comments between the rows): worth asking the other readers.
    bool loose = false;

    bool is_table() const { return counts.empty(); }
};

// A reader's answer: the spectrum, or what is wrong with the file (naming
// the line or the byte offset where it can).
template <class T>
struct Outcome {
    std::optional<T> value;
    std::string error;

    static Outcome failure(std::string why) { return {std::nullopt, std::move(why)}; }
    explicit operator bool() const { return value.has_value(); }
};

using ReadOutcome = Outcome<InstrumentSpectrum>;

} // namespace tarva
