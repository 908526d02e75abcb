// The text data files: the program's own data file (read by DATA and LOAD,
// written by SAVE) and the foreign tables converted by MAKE.
//
// These routines work on an open file and the shared records and write their
// messages to the output sink; the file-name dialogue is the commands' part.
#pragma once

#include <string>
#include <string_view>

#include "dataset/data_set.h"
#include "files/list_reader.h"
#include "io/output_sink.h"
#include "models/fit_state.h"
#include "models/model_tables.h"

namespace tarva {

// DATA's reading of a data file, after "Reading new data from: ". The
// qualifier selects plain reading (blank or an unlisted letter), A (append),
// N (new points, old fit state), F (fit state only) or the combinations S,
// +, D and M. False when the read is to be reported as failed.
bool read_data_file(RecordReader& in, std::string_view name, char qualifier, DataSet& data, FitState& fit,
                    OutputSink& out);

// LOAD's reading: X and the Y of column `column` (1..20) of each record.
// False when the read failed.
bool read_column_file(RecordReader& in, std::string_view name, int column, DataSet& data, OutputSink& out);

// Largest column LOAD reads.
inline constexpr int kMaxLoadColumn = 20;

// MAKE: what is set as soon as the table is open (file name, parameter
// errors, labels, caption from the name).
void begin_table(std::string_view name, DataSet& data, FitState& fit);

// MAKE's layout code from the answer to its menu prompt: blank or 0 gives
// 3, a negative -n the n-values-per-record layout (returned as -n, with n
// at most kMaxPoints + 1: every larger record reads alike).
int table_code_from_answer(double answer);

// MAKE's reading of a table in the layout `code` (3, 2, 1, -n, 8, 4, 5, or
// 6 and more: X, Y, ..., SIGMA with `code` numbers per record). False when
// no point was read.
bool read_table(RecordReader& in, std::string_view name, int code, DataSet& data, OutputSink& out);

// The number of dimensions as a data file records it: the log flags
// encoded as -1, -2 or -3, else the data set's value.
int encoded_dimensions(const DataSet& data);

// The whole text of the data file SAVE writes for the data set and the fit
// state (the current function evaluated at each point where wanted).
std::string data_file_text(const DataSet& data, FitState& fit, const ModelTables& tables);

} // namespace tarva
