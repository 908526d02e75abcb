// The real binary on a pseudo-terminal, as a user at a terminal meets it:
// readline edits the line, keys are typed group by group with a pause to
// see what they show, and a signal may be sent once they are in. The run
// is given a deadline to end by itself, and killed after it.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace tarva::testing_support {

struct TerminalRun {
    bool no_terminal = false; // no pseudo-terminal could be had
    bool ended = false;       // the program ended before the deadline
    int status = -1;
    std::string seen; // everything the terminal showed

    bool exited_with(int code) const { return ended && WIFEXITED(status) && WEXITSTATUS(status) == code; }
};

struct TerminalOptions {
    std::vector<std::string> keys;
    int signal = 0; // sent after the last keys
    std::chrono::milliseconds deadline{5000};
    std::vector<std::string> args; // the program's arguments (none: a session)
};

// Runs the program in `dir` (also its HOME and TARVA_LIB) on a dumb
// terminal with no inputrc.
inline TerminalRun run_at_terminal(const std::string& dir, const TerminalOptions& o) {
    TerminalRun r;
    int master = -1;
    const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
    if (pid < 0) {
        r.no_terminal = true;
        return r;
    }
    if (pid == 0) {
        if (::chdir(dir.c_str()) != 0) ::_exit(126);
        ::setenv("HOME", dir.c_str(), 1);
        ::setenv("TARVA_LIB", dir.c_str(), 1);
        ::setenv("TERM", "dumb", 1);
        ::setenv("INPUTRC", "/dev/null", 1);
        std::vector<char*> argv{const_cast<char*>("tarva")};
        for (const std::string& a : o.args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(TARVA_BINARY, argv.data());
        ::_exit(127);
    }
    // Reads for `wait`, or until `until` has been seen; false once the
    // terminal is closed (the program ended).
    auto read_for = [&](std::chrono::milliseconds wait, const char* until = nullptr) {
        const auto end = std::chrono::steady_clock::now() + wait;
        char buf[4096];
        while (std::chrono::steady_clock::now() < end && !(until && r.seen.find(until) != std::string::npos)) {
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n <= 0) return false;
            r.seen.append(buf, static_cast<std::size_t>(n));
        }
        return true;
    };
    read_for(std::chrono::seconds(20), "fit> ");
    // Keys typed before readline takes the terminal are echoed as typed as
    // well: give it a moment.
    read_for(std::chrono::milliseconds(300));
    for (const std::string& k : o.keys) {
        EXPECT_EQ(::write(master, k.data(), k.size()), static_cast<ssize_t>(k.size()));
        read_for(std::chrono::milliseconds(250));
    }
    if (o.signal) ::kill(pid, o.signal);
    const auto deadline = std::chrono::steady_clock::now() + o.deadline;
    bool open = true;
    while (std::chrono::steady_clock::now() < deadline && !r.ended) {
        if (open)
            open = read_for(std::chrono::milliseconds(50));
        else
            ::usleep(10000);
        r.ended = ::waitpid(pid, &r.status, WNOHANG) == pid;
    }
    if (r.ended && open) read_for(std::chrono::seconds(1)); // what is still on its way
    if (!r.ended) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
    ::close(master);
    return r;
}

} // namespace tarva::testing_support
