// tarva: interactive fitting and plotting of spectra.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <unistd.h>

#include "batch/batch_driver.h"
#include "interpreter/interpreter.h"
#include "interpreter/keyboard.h"
#include "interpreter/program_arguments.h"
#include "io/stop_signal.h"
#include "plot/device.h"
#include "session/session.h"

namespace {

void write_stderr(const char* text) {
    ssize_t rc = ::write(2, text, std::strlen(text));
    (void)rc;
}

void abort_with_core() {
    std::signal(SIGABRT, SIG_DFL);
    std::abort();
}

// Only async-signal-safe work here: the name goes out with write(2); a
// fault (floating-point exception, abort, trap) ends the run at once, as
// nothing can be trusted after it; any other signal sets the stop flag, and
// the program finishes its files where it can stop cleanly (run_loop and
// the keyboard readers look at the flag). A second signal before it got
// there ends the run at once.
extern "C" void on_signal(int sig) {
    const char* name = "Killed";
    switch (sig) {
    case SIGFPE: name = "Floating Exception"; break;
    case SIGABRT: name = "IOT Trap"; break;
    case SIGTRAP: name = "Trace trap"; break;
    case SIGQUIT: name = "Quit signal"; break;
    case SIGINT: name = "Interrupt"; break;
    default: break;
    }
    write_stderr(name);
    write_stderr("\n");
    const bool fault = sig == SIGFPE || sig == SIGABRT || sig == SIGTRAP;
    if (fault || tarva::g_stop_signal != 0) {
        if (fault || sig == SIGQUIT || tarva::g_stop_signal == SIGQUIT) abort_with_core();
        ::_exit(1);
    }
    tarva::g_stop_signal = sig;
}

void install_signal_handlers() {
    struct sigaction sa {};
    sa.sa_handler = on_signal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0; // no restart: a blocking read returns, so the flag is seen
    // SIGHUP (the terminal closed) ends the run as SIGTERM does.
    for (int sig : {SIGFPE, SIGABRT, SIGTRAP, SIGQUIT, SIGINT, SIGTERM, SIGHUP}) ::sigaction(sig, &sa, nullptr);
    // A file-size limit then acts as a full disk: the write fails and the
    // writer says so, instead of the whole run being killed.
    std::signal(SIGXFSZ, SIG_IGN);
}

// After a signal: the plot files get their endings, the log and the macro
// files are closed, and the run ends with status 1 (by abort for SIGQUIT).
[[noreturn]] void end_after_signal(tarva::Session& s, int sig) {
    tarva::close_plot_files(s, 'S');
    s.out().flush();
    s.out().close_log();
    s.input().close_all();
    std::cout.flush();
    std::fflush(nullptr);
    if (sig == SIGQUIT) abort_with_core();
    ::_exit(1);
}

} // namespace

int main(int argc, char** argv) {
    // A batch run or the merge of its tables; an interactive run goes on below.
    if (auto status = tarva::answer_batch_arguments(argc, argv, std::cerr)) return *status;
    if (auto status = tarva::answer_program_arguments(argc, argv, std::getenv("TARVA_LIB"), std::cout, std::cerr))
        return *status;
    std::ios::sync_with_stdio(false);
    install_signal_handlers();
    tarva::Session session(std::cin, std::cout);
    tarva::attach_keyboard(session);
    tarva::start_up(session, std::cerr);
    int status = tarva::run_loop(session);
    tarva::detach_keyboard(session);
    if (int sig = tarva::stop_signal()) end_after_signal(session, sig);
    std::cout.flush();
    return status;
}
