// The results table of a batch run: one CSV row per file, in the order the
// files were given, and the merge of the partial tables that the tasks of a
// cluster job write.
//
// Columns: file, status, function, points, reduced_chi_square, iterations,
// stop, then name_K, value_K, error_K for every parameter K of the widest
// row. The fixed columns come first so that they keep their place whatever
// the parameter count of a file's model; rows with fewer parameters (or no
// fit at all) end in empty fields, so every row has the header's width.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "models/fit_state.h"

namespace tarva {

inline constexpr int kFixedColumns = 7;

// One field in CSV: quoted (quotes doubled) when it holds a comma, a quote,
// a line end or a blank at either end.
std::string csv_field(std::string_view text);
// The fields of one CSV record (a line without its line end).
std::vector<std::string> csv_split(std::string_view line);

// The fit columns of a row (function ... the parameters), from the last fit
// of a run; empty fields when no fit ran. Numbers are written with the
// fewest digits that read back as the very double the fit left.
std::vector<std::string> fit_fields(const LastFit& fit);

// A row: the file, its status and the fit columns.
std::string table_row(std::string_view file, std::string_view status, const std::vector<std::string>& fit);

// The header for rows of `params` parameters.
std::string table_header(int params);

// Rows made the width of the widest of them (empty fields added), each
// ending in a line end; with the header in front when `header` is set.
// `rows` are records without line ends.
std::string table_text(const std::vector<std::string>& rows, bool header);

// The rows of a partial table (or a whole one: its header line is skipped),
// in file order. nullopt and a message in `error` when it cannot be read or
// a line is not a row of such a table.
std::optional<std::vector<std::string>> read_table_rows(const std::string& path, std::string& error);

} // namespace tarva
