// The real binary as a process: signals, closed input, garbage input.
#include <gtest/gtest.h>

#include <csignal>
#include <random>
#include <string>

#include "tarva_process.h"

namespace tarva {
namespace {

using testing_support::ProcessOptions;
using testing_support::ProcessRun;

class Process : public testing_support::TarvaProcess {
protected:
    ProcessRun run_tarva(const std::string& input, int signal_after_prompt = 0) {
        ProcessOptions o;
        o.signal = signal_after_prompt;
        return run(input, o);
    }
};

TEST_F(Process, ClosedInputEndsLikeExit) {
    ProcessRun r = run_tarva("");
    ASSERT_TRUE(WIFEXITED(r.status));
    EXPECT_EQ(WEXITSTATUS(r.status), 0);
    EXPECT_EQ(r.out, " fit> ");
    EXPECT_EQ(r.err.substr(0, 25), "          TARVA - V 7.1\n\n");
    // Both path lines begin with the blank column every line has, so their
    // texts line up at the colon.
    EXPECT_NE(r.err.find("\n Macro library directory set to: "), std::string::npos);
    EXPECT_NE(r.err.find("\n               Help file set to: "), std::string::npos);
}

TEST_F(Process, InterruptAndTerminationEndWithStatusOne) {
    ProcessRun r = run_tarva("", SIGINT);
    ASSERT_TRUE(WIFEXITED(r.status));
    EXPECT_EQ(WEXITSTATUS(r.status), 1);
    EXPECT_NE(r.err.find("Interrupt\n"), std::string::npos);
    r = run_tarva("", SIGTERM);
    ASSERT_TRUE(WIFEXITED(r.status));
    EXPECT_EQ(WEXITSTATUS(r.status), 1);
    EXPECT_NE(r.err.find("Killed\n"), std::string::npos);
}

TEST_F(Process, QuitAbortsWithItsName) {
    ProcessRun r = run_tarva("", SIGQUIT);
    ASSERT_TRUE(WIFSIGNALED(r.status));
    EXPECT_EQ(WTERMSIG(r.status), SIGABRT);
    EXPECT_NE(r.err.find("Quit signal\n"), std::string::npos);
}

TEST_F(Process, GarbageLinesNeverCrash) {
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
} // namespace tarva
