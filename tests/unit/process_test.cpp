// The real binary as a process: signals, closed input, garbage input.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <random>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct ProcessRun {
    int status = -1;
    std::string out;
    std::string err;
};

std::string read_all(int fd) {
    std::string s;
    char buf[4096];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0) s.append(buf, static_cast<std::size_t>(n));
    return s;
}

// Starts tarva with `input` on stdin; when `signal_after_prompt` is set the
// input is left open, and the signal is sent once the first prompt appears.
ProcessRun run_tarva(const std::string& input, int signal_after_prompt = 0) {
    int in[2], out[2], err[2];
    EXPECT_EQ(pipe(in), 0);
    EXPECT_EQ(pipe(out), 0);
    EXPECT_EQ(pipe(err), 0);
    char dir[] = "/tmp/tarva_proc_XXXXXX";
    EXPECT_NE(mkdtemp(dir), nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        close(in[1]);
        close(out[0]);
        close(err[0]);
        if (chdir(dir) != 0) _exit(126);
        setenv("HOME", dir, 1);
        setenv("TARVA_LIB", dir, 1);
        execl(TARVA_BINARY, "tarva", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    ssize_t w = write(in[1], input.data(), input.size());
    EXPECT_EQ(w, static_cast<ssize_t>(input.size()));
    ProcessRun r;
    if (signal_after_prompt) {
        std::string seen;
        char buf[256];
        while (seen.find("fit> ") == std::string::npos) {
            ssize_t n = read(out[0], buf, sizeof buf);
            if (n <= 0) break;
            seen.append(buf, static_cast<std::size_t>(n));
        }
        kill(pid, signal_after_prompt);
        r.out = seen;
    }
    close(in[1]);
    r.out += read_all(out[0]);
    r.err = read_all(err[0]);
    close(out[0]);
    close(err[0]);
    waitpid(pid, &r.status, 0);
    std::string cleanup = std::string("rm -rf ") + dir;
    EXPECT_EQ(std::system(cleanup.c_str()), 0);
    return r;
}

TEST(Process, ClosedInputEndsLikeExit) {
    ProcessRun r = run_tarva("");
    ASSERT_TRUE(WIFEXITED(r.status));
    EXPECT_EQ(WEXITSTATUS(r.status), 0);
    EXPECT_EQ(r.out, " fit> ");
    EXPECT_EQ(r.err.substr(0, 25), "          TARVA - V 7.1\n\n");
    EXPECT_NE(r.err.find(" Macro library directory set to: "), std::string::npos);
    EXPECT_NE(r.err.find("              Help file set to: "), std::string::npos);
}

TEST(Process, InterruptAndTerminationEndWithStatusOne) {
    ProcessRun r = run_tarva("", SIGINT);
    ASSERT_TRUE(WIFEXITED(r.status));
    EXPECT_EQ(WEXITSTATUS(r.status), 1);
    EXPECT_NE(r.err.find("Interrupt\n"), std::string::npos);
    r = run_tarva("", SIGTERM);
    ASSERT_TRUE(WIFEXITED(r.status));
    EXPECT_EQ(WEXITSTATUS(r.status), 1);
    EXPECT_NE(r.err.find("Killed\n"), std::string::npos);
}

TEST(Process, QuitAbortsWithItsName) {
    ProcessRun r = run_tarva("", SIGQUIT);
    ASSERT_TRUE(WIFSIGNALED(r.status));
    EXPECT_EQ(WTERMSIG(r.status), SIGABRT);
    EXPECT_NE(r.err.find("Quit signal\n"), std::string::npos);
}

TEST(Process, GarbageLinesNeverCrash) {
    std::mt19937 rng(7);
    std::string input;
    for (int line = 0; line < 300; ++line) {
        int len = static_cast<int>(rng() % 200);
        if (line % 50 == 0) len = 100000; // one very long line now and then
        for (int i = 0; i < len; ++i) {
            char c = static_cast<char>(rng() % 256);
            if (c == '\n') c = 'x';
            // Keep the shell, the log file and the macro starts out of it.
            if (c == '$' || c == '@' || c == '!') c = ' ';
            input.push_back(c);
        }
        input += (line % 3) ? "\r\n" : "\n";
    }
    input += "exit";
    ProcessRun r = run_tarva(input);
    ASSERT_TRUE(WIFEXITED(r.status));
    EXPECT_EQ(WEXITSTATUS(r.status), 0);
}

} // namespace
