// The real binary as a process in a scratch directory: input on a pipe,
// standard output and error collected, an optional file-size limit (a full
// disk for every file the program writes), a signal sent once a given
// prompt has appeared (or while a command typed then runs), and a
// deadline, so that a run that would block or read for ever fails the test
// instead of hanging it.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "temp_dir.h"

namespace tarva::testing_support {

struct ProcessRun {
    int status = -1;
    bool timed_out = false;
    std::string out;
    std::string err;

    // From the signal to the end of the program's output (-1 when none was
    // sent).
    double seconds_after_signal = -1;

    bool exited_with(int code) const { return !timed_out && WIFEXITED(status) && WEXITSTATUS(status) == code; }
};

struct ProcessOptions {
    // Bytes any one file may grow to (0: no limit). SIGXFSZ is ignored, so a
    // write past it fails as on a full disk.
    long long file_size_limit = 0;
    // Sent once `signal_text` (normally the prompt) has appeared
    // `signal_at_prompt` times (0: from the start, `signal_delay_ms`
    // later); the input then stays open so the program is waiting when it
    // comes.
    int signal = 0;
    int signal_at_prompt = 1;
    std::string signal_text = "fit> ";
    // Typed once `signal_text` has appeared as asked (a long command), the
    // signal then following `signal_delay_ms` later, while it runs.
    std::string late_input;
    int signal_delay_ms = 0;
    int deadline_seconds = 20;
    // The program's arguments (none: an interactive run).
    std::vector<std::string> args;
};

// A scratch directory that is the program's working directory, HOME and
// TARVA_LIB; removed afterwards.
class TarvaProcess : public ::testing::Test {
protected:
    TarvaProcess() : dir_(dir_guard_.path().string()) {}

    std::string path(const std::string& name) const { return dir_ + "/" + name; }
    void file(const std::string& name, const std::string& text) const { write_file(path(name), text); }
    std::string contents(const std::string& name) const { return read_file(path(name)); }
    bool exists(const std::string& name) const {
        std::error_code ec;
        return std::filesystem::exists(std::filesystem::symlink_status(path(name), ec));
    }
    void fifo(const std::string& name) const { ASSERT_EQ(::mkfifo(path(name).c_str(), 0600), 0); }
    void link(const std::string& name, const std::string& target) const {
        ASSERT_EQ(::symlink(target.c_str(), path(name).c_str()), 0);
    }

    ProcessRun run(const std::string& input, const ProcessOptions& o = {}) const {
        int in[2], out[2], err[2];
        EXPECT_EQ(::pipe(in), 0);
        EXPECT_EQ(::pipe(out), 0);
        EXPECT_EQ(::pipe(err), 0);
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::dup2(in[0], 0);
            ::dup2(out[1], 1);
            ::dup2(err[1], 2);
            for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) ::close(fd);
            if (::chdir(dir_.c_str()) != 0) ::_exit(126);
            ::setenv("HOME", dir_.c_str(), 1);
            ::setenv("TARVA_LIB", dir_.c_str(), 1);
            if (o.file_size_limit > 0) {
                std::signal(SIGXFSZ, SIG_IGN);
                rlimit r{static_cast<rlim_t>(o.file_size_limit), static_cast<rlim_t>(o.file_size_limit)};
                if (::setrlimit(RLIMIT_FSIZE, &r) != 0) ::_exit(125);
            }
            std::vector<char*> argv{const_cast<char*>("tarva")};
            for (const std::string& a : o.args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(TARVA_BINARY, argv.data());
            ::_exit(127);
        }
        ::close(in[0]);
        ::close(out[1]);
        ::close(err[1]);
        // The input is written whole; a pipe holds far more than a test types.
        EXPECT_EQ(::write(in[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
        if (!o.signal) ::close(in[1]);
        ProcessRun r;
        using Clock = std::chrono::steady_clock;
        const auto deadline = Clock::now() + std::chrono::seconds(o.deadline_seconds);
        bool signalled = o.signal == 0, due = false;
        Clock::time_point signal_at = deadline, sent_at{};
        // signal_at_prompt 0: the signal is due from the start, after the delay.
        if (!signalled && o.signal_at_prompt == 0) {
            signal_at = Clock::now() + std::chrono::milliseconds(o.signal_delay_ms);
            due = true;
        }
        pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
        int open_streams = 2;
        while (open_streams > 0) {
            if (due && !signalled && Clock::now() >= signal_at) {
                ::kill(pid, o.signal);
                sent_at = Clock::now();
                signalled = true;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                (due && !signalled ? std::min(deadline, signal_at) : deadline) - Clock::now());
            if (Clock::now() >= deadline) {
                r.timed_out = true;
                ::kill(pid, SIGKILL);
                break;
            }
            if (::poll(fds, 2, static_cast<int>(std::max<long long>(left.count(), 0))) < 0) continue;
            for (int k = 0; k < 2; ++k) {
                if (fds[k].fd < 0 || !(fds[k].revents & (POLLIN | POLLHUP | POLLERR))) continue;
                char buf[4096];
                const ssize_t n = ::read(fds[k].fd, buf, sizeof buf);
                if (n <= 0) {
                    ::close(fds[k].fd);
                    fds[k].fd = -1;
                    --open_streams;
                    continue;
                }
                (k == 0 ? r.out : r.err).append(buf, static_cast<std::size_t>(n));
            }
            if (!signalled && !due && occurrences(r.out, o.signal_text) >= o.signal_at_prompt) {
                if (!o.late_input.empty()) {
                    EXPECT_EQ(::write(in[1], o.late_input.data(), o.late_input.size()),
                              static_cast<ssize_t>(o.late_input.size()));
                }
                signal_at = Clock::now() + std::chrono::milliseconds(o.signal_delay_ms);
                due = true;
            }
        }
        if (o.signal && signalled)
            r.seconds_after_signal = std::chrono::duration<double>(Clock::now() - sent_at).count();
        for (auto& f : fds)
            if (f.fd >= 0) ::close(f.fd);
        if (o.signal) ::close(in[1]);
        ::waitpid(pid, &r.status, 0);
        return r;
    }

private:
    static int occurrences(const std::string& out, const std::string& text) {
        int n = 0;
        for (std::size_t p = out.find(text); p != std::string::npos; p = out.find(text, p + 1)) ++n;
        return n;
    }

    TempDir dir_guard_;
    std::string dir_;
};

} // namespace tarva::testing_support
