// A session on string streams for running one command at a time on a small
// data set, with the answers to its prompts given as text.
#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "commands/commands.h"
#include "session/session.h"

namespace tarva::testing_support {

// Puts the points into the data set (SIGMA 1 when no errors are given).
inline void set_points(DataSet& d, const std::vector<float>& x, const std::vector<float>& y,
                       const std::vector<float>& e = {}) {
    for (std::size_t i = 0; i < x.size(); ++i) {
        d.X[i] = x[i];
        d.Y[i] = y[i];
        d.SIGMA[i] = e.empty() ? 1.0f : e[i];
    }
    d.count = static_cast<int>(x.size());
}

struct CommandFixture : ::testing::Test {
    std::istringstream in;
    std::ostringstream out;
    Session s{in, out};

    void points(const std::vector<float>& x, const std::vector<float>& y, const std::vector<float>& e = {}) {
        set_points(s.data, x, y, e);
    }
    // Runs the command on the line as typed; returns what it printed.
    std::string run(void (*command)(Session&, CommandContext&), const std::string& line,
                    const std::string& answers = "") {
        in.str(answers);
        in.clear();
        out.str("");
        CommandContext ctx;
        ctx.line = line;
        parse_command_line(ctx);
        command(s, ctx);
        return out.str();
    }
    std::vector<float> xs() const { return {s.data.X.begin(), s.data.X.begin() + s.data.count}; }
    std::vector<float> ys() const { return {s.data.Y.begin(), s.data.Y.begin() + s.data.count}; }
    std::vector<float> es() const { return {s.data.SIGMA.begin(), s.data.SIGMA.begin() + s.data.count}; }
};

} // namespace tarva::testing_support
