// tarva: interactive fitting and plotting of spectra.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <unistd.h>

#include "interpreter/interpreter.h"
#include "interpreter/keyboard.h"
#include "interpreter/program_arguments.h"
#include "session/session.h"
#include "plot/device.h"

namespace {

// The one pointer the signal handlers need to close the open files.
tarva::Session* g_session = nullptr;

void write_stderr(const char* text) {
    ssize_t rc = ::write(2, text, std::strlen(text));
    (void)rc;
}

extern "C" void on_signal(int sig) {
    const char* name = "Killed";
    bool abort_with_core = true;
    switch (sig) {
    case SIGFPE: name = "Floating Exception"; break;
    case SIGABRT: name = "IOT Trap"; break;
    case SIGTRAP: name = "Trace trap"; break;
    case SIGQUIT: name = "Quit signal"; break;
    case SIGINT: name = "Interrupt"; abort_with_core = false; break;
    default: name = "Killed"; abort_with_core = false; break;
    }
    write_stderr(name);
    write_stderr("\n");
    if (g_session) {
        tarva::Session* s = g_session;
        g_session = nullptr;
        tarva::close_plot_files(*s, 'S');
        s->out().flush();
        s->out().close_log();
        s->input().close_all();
    }
    std::fflush(nullptr);
    if (abort_with_core) {
        std::signal(SIGABRT, SIG_DFL);
        std::abort();
    }
    ::_exit(1);
}

void install_signal_handlers() {
    for (int sig : {SIGFPE, SIGABRT, SIGTRAP, SIGQUIT, SIGINT, SIGTERM}) std::signal(sig, on_signal);
    // A file-size limit then acts as a full disk: the write fails and the
    // writer says so, instead of the whole run being killed.
    std::signal(SIGXFSZ, SIG_IGN);
}

} // namespace

int main(int argc, char** argv) {
    if (auto status = tarva::answer_program_arguments(argc, argv, std::getenv("TARVA_LIB"), std::cout, std::cerr))
        return *status;
    std::ios::sync_with_stdio(false);
    install_signal_handlers();
    tarva::Session session(std::cin, std::cout);
    g_session = &session;
    tarva::attach_keyboard(session);
    tarva::start_up(session, std::cerr);
    int status = tarva::run_loop(session);
    tarva::detach_keyboard(session);
    g_session = nullptr;
    std::cout.flush();
    return status;
}
