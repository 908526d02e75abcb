#include "batch/batch_worker.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <iostream>
#include <sstream>
#include <unistd.h>

#include "batch/batch_table.h"
#include "commands/control/macro.h"
#include "fitting/parallel.h"
#include "interpreter/interpreter.h"
#include "io/stop_signal.h"
#include "session/session.h"

namespace tarva {

namespace {

// A signal (the driver passes Ctrl-C and SIGTERM on) sets the stop flag:
// the fit ends after its iteration and the command loop after its line. A
// second one ends the run at once.
extern "C" void on_child_signal(int sig) {
    if (g_stop_signal != 0) ::_exit(1);
    g_stop_signal = sig;
}

void write_all(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return; // the driver is gone: nobody reads the outcome
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

std::string status_of(const Session& s) {
    const InterpreterState& in = s.interp;
    if (stop_signal()) return "stopped";
    if (in.failed_reads > 0) return "unreadable file";
    if (in.unanswered_prompts > 0) return "macro error: a prompt was not answered";
    if (in.unknown_words > 0) return "macro error: unknown command " + in.first_unknown_word;
    if (s.fit.last_fit.done && !s.fit.last_fit.converged) return "fit not converged";
    return "ok";
}

} // namespace

std::string encode_outcome(const FileOutcome& r) { return r.status + "\n" + table_row("", "", r.fit) + "\n"; }

bool decode_outcome(std::string_view text, FileOutcome& r) {
    const std::size_t first = text.find('\n');
    if (first == std::string_view::npos || text.empty() || text.back() != '\n') return false;
    const std::string_view second = text.substr(first + 1, text.size() - first - 2);
    if (second.find('\n') != std::string_view::npos) return false;
    r.status = std::string(text.substr(0, first));
    std::vector<std::string> f = csv_split(second);
    if (f.size() < 2) return false;
    r.fit.assign(f.begin() + 2, f.end()); // the two empty places of file and status
    return !r.status.empty();
}

void run_file_in_child(const std::string& macro, const std::string& file, int log_fd, int result_fd, bool single_core) {
    ::setsid();
    struct sigaction sa {};
    sa.sa_handler = on_child_signal;
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(sig, &sa, nullptr);
    std::signal(SIGXFSZ, SIG_IGN); // a full disk, as in an interactive run
    const int null = ::open("/dev/null", O_RDWR);
    const int out = log_fd >= 0 ? log_fd : null;
    ::dup2(null, 0);
    ::dup2(out, 1);
    ::dup2(out, 2);
    if (single_core) set_helper_use(HelperUse::never);

    std::istringstream no_keyboard; // every read from it is the end of input
    FileOutcome outcome;
    {
        Session s(no_keyboard, std::cout);
        // The macro goes first on the stack and the login macro (start_up)
        // on top of it, so the login macro runs first, as in a session
        // where the macro is started by name at the prompt.
        s.interp.macro_args = file;
        if (!start_macro(s, macro)) {
            outcome.status = "macro error: cannot open " + macro;
        } else {
            start_up(s, std::cerr);
            run_loop(s);
            outcome.status = status_of(s);
            outcome.fit = fit_fields(s.fit.last_fit);
        }
        s.out().flush();
        s.out().close_log();
        s.input().close_all();
    }
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    write_all(result_fd, encode_outcome(outcome));
    ::_exit(0);
}

} // namespace tarva
