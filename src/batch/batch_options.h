// The arguments of a batch run and of the merge of partial tables:
//   tarva --batch MACRO [options] FILE...
//   tarva --merge-tables [--table FILE] PART...
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tarva {

struct BatchOptions {
    bool merge = false; // --merge-tables: `files` are the partial tables
    std::string macro;  // the macro run once per file
    std::vector<std::string> files;
    int jobs = 0;            // -j N; 0: one per processor this process may use
    std::string table = "-"; // --table FILE ("-": standard output)
    bool table_part = false; // --table-part FILE: rows only, no header
    std::string logs;        // --logs DIR: one log per file; empty: discarded
    double timeout = 0;      // --timeout S: seconds per file; 0: none
    int share = 0;           // --share K/N: run only the K-th (0 .. N-1) of
    int shares = 1;          // N contiguous shares of the file list
    bool progress = true;    // --no-progress turns the progress line off
};

// Reads the arguments after "--batch" or "--merge-tables" (argv[first]
// onwards; `merge` tells which). Files of --files-from LIST are read here
// (one name a line). nullopt with a message in `error` when they do not
// make a run.
std::optional<BatchOptions> read_batch_options(int argc, const char* const* argv, int first, bool merge,
                                               std::string& error);

} // namespace tarva
