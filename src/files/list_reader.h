// Sequential reading of text data files: one record (line) at a time, and
// free-format (list-directed) reads of numbers that may span records.
#pragma once

#include <functional>
#include <istream>
#include <span>
#include <string>

namespace tarva {

enum class ReadStatus { Ok, Error, End };

// Longest part of a record that is kept; the rest of a longer line is read
// and dropped, so no file can exhaust memory through one line.
inline constexpr std::size_t kMaxDataRecord = 1 << 16;

class RecordReader {
public:
    explicit RecordReader(std::istream& in) : in_(&in) {}

    // Reads the next record into `record` (line end and a trailing CR
    // dropped). End at end of file, Error when the stream fails.
    ReadStatus next(std::string& record);
    // Back to the first record.
    void rewind();
    // Records read so far.
    long records() const { return records_; }
    // A record buffer for the list reads, kept from one record to the next
    // so that a long file is not one allocation per line.
    std::string& scratch() { return scratch_; }

private:
    std::istream* in_;
    long records_ = 0;
    std::string scratch_;
};

// List-directed read of values.size() numbers, starting at the next record
// and going on to further records while numbers are missing; numbers after
// the last one wanted in the last record are ignored. Items are separated by
// blanks, TABs or a comma; an empty item (two commas) or "r*" leaves values
// unchanged; "r*v" stands for r copies of v; "/" ends the read, the values
// not reached keeping theirs. A read of no values still passes one record.
//
// Real items are decimal numbers (E, D or Q exponent); NaN, infinities and
// values beyond the double range are read errors. Integer items are decimal
// integers within the 32-bit range. Error: an item does not read (the rest
// of that record is dropped); End: the file ended before all values were
// read. Values read before the failure are kept.
ReadStatus read_reals(RecordReader& in, std::span<double> values);
ReadStatus read_integers(RecordReader& in, std::span<long long> values);

// As read_reals, into single precision (data values); a value outside the
// single-precision range is a read error. On any failure the outputs keep
// their entry values.
ReadStatus read_floats(RecordReader& in, std::span<float> values);

// The general form: `count` single-precision items, each item read handed
// to store(index, value) at once (empty items are not handed over), so a
// caller can skip columns without holding them.
ReadStatus read_float_items(RecordReader& in, std::size_t count, const std::function<void(std::size_t, float)>& store);

} // namespace tarva
