// One file of a batch run, in a process of its own: a fresh session that
// runs the macro with the file name as its arguments (the ~ marker), reads
// no keyboard and writes its terminal output to the file's log.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarva {

// What a run hands back to the driver: its status and the fit columns of
// its row. Sent as text through a pipe: the status on the first line, the
// fit columns as one CSV record on the second.
struct FileOutcome {
    std::string status;
    std::vector<std::string> fit;
};
std::string encode_outcome(const FileOutcome& r);
// nullopt when the text is not a whole message (the run ended before it
// wrote one).
bool decode_outcome(std::string_view text, FileOutcome& r);

// Runs in the child process the driver forked: detaches it from the
// terminal (a session of its own, so a plot meant for /dev/tty has none to
// reach, and the driver can end the run with everything it started),
// points standard input at /dev/null and standard output and error at
// `log_fd` (-1: /dev/null), runs the macro, writes the outcome to
// `result_fd` and ends the process. `single_core`: the fit shares no
// passes with a helper thread (the other workers have the other cores).
[[noreturn]] void run_file_in_child(const std::string& macro, const std::string& file, int log_fd, int result_fd,
                                    bool single_core);

} // namespace tarva
