// The batch driver: `tarva --batch MACRO [options] FILE...` runs the macro
// once per file, each file in a process of its own forked from this one
// (which never builds a session, so every child starts from the program's
// first state), up to N at a time, and writes one results table;
// `tarva --merge-tables PART...` joins the partial tables of a cluster job.
#pragma once

#include <optional>
#include <ostream>

#include "batch/batch_options.h"

namespace tarva {

// Runs a batch. Returns the exit status: 0 when every file's status is ok,
// 1 when some file failed or the batch was stopped (the table is written
// all the same), 2 when nothing could run or the table could not be
// written (a message on `err`).
int run_batch(const BatchOptions& o, std::ostream& err);

// Joins partial tables into one, in the order given. 0, or 2 with a message.
int merge_tables(const BatchOptions& o, std::ostream& err);

// The batch and merge entry of the program: nullopt when argv[1] is
// neither --batch nor --merge-tables (an interactive run), otherwise the
// exit status.
std::optional<int> answer_batch_arguments(int argc, const char* const* argv, std::ostream& err);

} // namespace tarva
